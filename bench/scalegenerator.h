#pragma once

// The database bench_scale measures: n notes in the data folder named by
// NOTES_DATA_DIR, written in bulk as the application's own write path leaves
// them, then checked against that path.

#include <QJsonArray>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QString>

inline const QString kRareWord = QStringLiteral("zephyrquill");

// Delta bodies mixing headings, lists, check lists, code, tables and pictures.
class BodyBuilder final
{
public:
    explicit BodyBuilder(QRandomGenerator &random)
        : m_random(random)
    {
    }

    QString build(int targetBytes, bool rare, const QString &attachmentId);

private:
    QString words(int count);
    void line(const QString &text, const QJsonObject &lineAttributes = {});
    void embed(const QJsonObject &value);

    QRandomGenerator &m_random;
    QJsonArray m_ops;
    int m_size = 0;
};

// Writes the database in one transaction; bodyScale shrinks the bodies
// (1: 0.5-20 KB). False when a write fails or the rows of sampled notes differ
// from what the application's write path makes of the same bodies.
bool generateScaleDatabase(int n, double bodyScale);
