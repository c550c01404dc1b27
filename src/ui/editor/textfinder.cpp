#include "textfinder.h"

#include <QRegularExpression>
#include <QTextDocument>

#include <algorithm>

namespace TextFinder {

QList<QTextCursor> findAll(const QTextDocument *document, const QString &text)
{
    QList<QTextCursor> matches;
    if (!document || text.isEmpty())
        return matches;
    QTextCursor found = document->find(text, 0);
    while (!found.isNull()) {
        matches.append(found);
        found = document->find(text, found.selectionEnd());
    }
    return matches;
}

QStringList queryWords(const QString &query)
{
    static const QRegularExpression separators(QStringLiteral("[\\s\"()]+"));
    QStringList words;
    for (QString word : query.split(separators, Qt::SkipEmptyParts)) {
        while (word.endsWith(QLatin1Char('*')))
            word.chop(1);
        if (word.isEmpty() || word == QLatin1String("AND") || word == QLatin1String("OR")
            || word == QLatin1String("NOT"))
            continue;
        if (!words.contains(word, Qt::CaseInsensitive))
            words.append(word);
    }
    return words;
}

QList<QTextCursor> findWords(const QTextDocument *document, const QString &query)
{
    QList<QTextCursor> matches;
    if (!document)
        return matches;
    for (const QString &word : queryWords(query)) {
        const QRegularExpression start(QStringLiteral("\\b") + QRegularExpression::escape(word),
                                       QRegularExpression::CaseInsensitiveOption
                                           | QRegularExpression::UseUnicodePropertiesOption);
        QTextCursor found = document->find(start, 0);
        while (!found.isNull() && found.hasSelection()) {
            matches.append(found);
            found = document->find(start, found.selectionEnd());
        }
    }
    std::sort(matches.begin(), matches.end(),
              [](const QTextCursor &a, const QTextCursor &b) { return a.selectionStart() < b.selectionStart(); });
    return matches;
}

int nextMatch(const QList<QTextCursor> &matches, int position, bool forward)
{
    if (matches.isEmpty())
        return -1;
    if (forward) {
        for (int i = 0; i < matches.size(); ++i) {
            if (matches.at(i).selectionStart() >= position)
                return i;
        }
        return 0;
    }
    for (int i = int(matches.size()) - 1; i >= 0; --i) {
        if (matches.at(i).selectionStart() < position)
            return i;
    }
    return int(matches.size()) - 1;
}

int matchAt(const QList<QTextCursor> &matches, const QTextCursor &cursor)
{
    if (!cursor.hasSelection())
        return -1;
    for (int i = 0; i < matches.size(); ++i) {
        if (matches.at(i).selectionStart() == cursor.selectionStart()
            && matches.at(i).selectionEnd() == cursor.selectionEnd())
            return i;
    }
    return -1;
}

int replaceAll(const QList<QTextCursor> &matches, const QString &replacement)
{
    if (matches.isEmpty())
        return 0;
    QTextCursor edit(matches.first());
    edit.beginEditBlock();
    // The cursors move with the text, so each one still holds its match.
    for (QTextCursor match : matches)
        match.insertText(replacement);
    edit.endEditBlock();
    return int(matches.size());
}

} // namespace TextFinder
