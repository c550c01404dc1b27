#pragma once

#include <QFrame>

class QLabel;

// The strip above the note pane while the database is damaged and open
// read-only: what happened, and the ways out (a backup of what can still be
// read, a repair into a new file).
class DatabaseDamageBanner final : public QFrame
{
    Q_OBJECT
public:
    explicit DatabaseDamageBanner(const QString &details, QWidget *parent = nullptr);

signals:
    void backUpRequested();
    void repairRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyPalette();

    QLabel *m_text = nullptr;
    bool m_applying = false;
};
