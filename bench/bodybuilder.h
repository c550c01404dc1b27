#pragma once

// Note bodies like the ones people keep: headings, lists, check lists, code,
// tables and running text in the editor's delta format, from a seeded
// generator so every run writes the same notes.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QString>

namespace {

const char *const kWords[] = {
    "project", "meeting", "notes", "review", "design", "budget", "plan", "team", "update", "release",
    "customer", "garden", "recipe", "travel", "packing", "book", "reading", "list", "idea", "draft",
    "schedule", "invoice", "report", "summary", "weekly", "monthly", "quarter", "goal", "task", "follow",
    "email", "call", "agenda", "minutes", "decision", "action", "owner", "deadline", "status", "risk",
    "the", "and", "with", "for", "from", "into", "about", "after", "before", "under",
    "quick", "brown", "lazy", "river", "mountain", "coffee", "morning", "evening", "window", "table",
};
constexpr int kWordCount = int(sizeof(kWords) / sizeof(kWords[0]));
const QString kRareWord = QStringLiteral("zephyrquill");

// Most notes are short, a few are long: 0.5 KB .. 20 KB.
inline int realisticBodyBytes(QRandomGenerator &random)
{
    const double r = random.generateDouble();
    return 500 + int(19500 * r * r * r);
}

class BodyBuilder
{
public:
    explicit BodyBuilder(QRandomGenerator &random)
        : m_random(random)
    {
    }

    QString words(int count)
    {
        QString text;
        for (int i = 0; i < count; ++i) {
            if (i)
                text += ' ';
            text += QLatin1String(kWords[m_random.bounded(kWordCount)]);
        }
        return text;
    }

    void line(const QString &text, const QJsonObject &lineAttributes = {})
    {
        m_ops.append(QJsonObject{{"insert", text}});
        QJsonObject newline{{"insert", "\n"}};
        if (!lineAttributes.isEmpty())
            newline.insert("attributes", lineAttributes);
        m_ops.append(newline);
        m_size += text.size() + 40;
    }

    void embed(const QJsonObject &value)
    {
        m_ops.append(QJsonObject{{"insert", value}});
        m_ops.append(QJsonObject{{"insert", "\n"}});
        m_size += 80;
    }

    QString build(int targetBytes, bool rare, const QString &attachmentId)
    {
        m_ops = QJsonArray();
        m_size = 0;
        line(words(3 + m_random.bounded(5)), QJsonObject{{"header", 1}});
        if (rare)
            line(QStringLiteral("the %1 appears here").arg(kRareWord));
        if (!attachmentId.isEmpty())
            embed(QJsonObject{{"image", "velmora-notes://attachment/" + attachmentId}});
        while (m_size < targetBytes) {
            switch (m_random.bounded(8)) {
            case 0:
                line(words(2 + m_random.bounded(4)), QJsonObject{{"header", 2 + m_random.bounded(2)}});
                break;
            case 1:
                for (int i = 0, n = 2 + m_random.bounded(5); i < n; ++i)
                    line(words(3 + m_random.bounded(8)), QJsonObject{{"list", "bullet"}});
                break;
            case 2:
                for (int i = 0, n = 2 + m_random.bounded(5); i < n; ++i)
                    line(words(2 + m_random.bounded(6)),
                         QJsonObject{{"list", m_random.bounded(3) ? "unchecked" : "checked"}});
                break;
            case 3:
                for (int i = 0, n = 2 + m_random.bounded(6); i < n; ++i)
                    line(QStringLiteral("int value_%1 = compute(%2);").arg(i).arg(m_random.bounded(100)),
                         QJsonObject{{"code-block", true}});
                break;
            case 4: {
                if (m_random.bounded(4))
                    break;
                QJsonArray rows;
                for (int r = 0; r < 4; ++r) {
                    QJsonArray row;
                    for (int c = 0; c < 3; ++c)
                        row.append(words(1 + m_random.bounded(2)));
                    rows.append(row);
                }
                const QJsonObject table{{"cells", rows}, {"hasHeader", true}};
                embed(QJsonObject{{"table", QString::fromUtf8(QJsonDocument(table).toJson(QJsonDocument::Compact))}});
                m_size += 200;
                break;
            }
            default: {
                m_ops.append(QJsonObject{{"insert", words(5 + m_random.bounded(20)) + ' '}});
                m_ops.append(QJsonObject{{"insert", words(2)}, {"attributes", QJsonObject{{"bold", true}}}});
                line(' ' + words(5 + m_random.bounded(25)));
                m_size += 200;
                break;
            }
            }
        }
        return QString::fromUtf8(QJsonDocument(m_ops).toJson(QJsonDocument::Compact));
    }

private:
    QRandomGenerator &m_random;
    QJsonArray m_ops;
    int m_size = 0;
};

} // namespace
