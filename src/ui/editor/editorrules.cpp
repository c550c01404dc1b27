#include "editorrules.h"

#include "safefilename.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QStringList>

namespace EditorRules {

int wordCount(const QString &text)
{
    // Runs on every keystroke over the whole note, so it counts in place what
    // splitting the trimmed text on "\s+" (ASCII white space) would give.
    const QChar *begin = text.constData();
    const QChar *end = begin + text.size();
    while (begin < end && begin->isSpace())
        ++begin;
    while (end > begin && (end - 1)->isSpace())
        --end;
    const auto separates = [](QChar c) {
        const char16_t u = c.unicode();
        return u == u' ' || (u >= u'\t' && u <= u'\r');
    };
    int count = 0;
    bool inWord = false;
    for (const QChar *c = begin; c < end; ++c) {
        const bool space = separates(*c);
        if (!space && !inWord)
            ++count;
        inWord = !space;
    }
    return count;
}

qsizetype longestParagraph(const QString &text)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        longest = qMax(longest, end - start);
        start = end + 1;
    }
    return longest;
}

QString brokenIntoLines(const QString &text, qsizetype width)
{
    if (width < 2 || longestParagraph(text) <= width)
        return text;
    QString out;
    out.reserve(text.size() + text.size() / width + 16);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), start);
        if (lineEnd < 0)
            lineEnd = text.size();
        while (lineEnd - start > width) {
            qsizetype cut = start + width;
            // Only the second half is searched: a text without spaces stays linear.
            const qsizetype half = start + width / 2;
            const qsizetype space = QStringView(text).sliced(half, cut - half).lastIndexOf(QLatin1Char(' '));
            if (space > 0)
                cut = half + space + 1;
            out += QStringView(text).sliced(start, cut - start);
            out += QLatin1Char('\n');
            start = cut;
        }
        out += QStringView(text).sliced(start, lineEnd - start);
        if (lineEnd < text.size())
            out += QLatin1Char('\n');
        start = lineEnd + 1;
    }
    return out;
}

bool looksLikeHtml(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !trimmed.startsWith(QLatin1Char('<')))
        return false;
    static const QRegularExpression document(QStringLiteral("^<(!doctype\\s+html|html\\b|body\\b|head\\b)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression element(
        QStringLiteral("<(p|div|span|h[1-6]|ul|ol|li|a|strong|em|b|i|table|tr|td|th|br|hr|img|pre|code|"
                       "blockquote|article|section|main|nav|header|footer|aside|figure|figcaption|dl|dt|dd)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return document.match(trimmed).hasMatch() || element.match(trimmed).hasMatch();
}

bool looksLikeMarkdown(const QString &text)
{
    if (text.isEmpty())
        return false;
    const auto multiLine = QRegularExpression::MultilineOption;
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("^\\s{0,3}#{1,6}\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}[-*+]\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}\\d+\\.\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}>\\s+\\S"), multiLine),
        QRegularExpression(QStringLiteral("^\\s*\\|.*\\|\\s*$"), multiLine),
        QRegularExpression(QStringLiteral("\\[[^\\]]+\\]\\([^)]+\\)")),
        QRegularExpression(QStringLiteral("^\\s*[-=]{3,}\\s*$"), multiLine),
        QRegularExpression(QStringLiteral("^\\s{0,3}```"), multiLine),
    };
    for (const QRegularExpression &pattern : patterns) {
        if (pattern.match(text).hasMatch())
            return true;
    }
    return false;
}

QUrl linkTarget(const QString &href)
{
    const QString trimmed = href.trimmed();
    if (trimmed.isEmpty())
        return {};
    // A scheme is letters, digits, "+", "-" or "." after a letter, then ":".
    // "localhost:8080" or "example.com:80/x" would read as schemes to QUrl,
    // so a scheme only counts when it is followed by something other than a port.
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d+(/|$))"));
    if (scheme.match(trimmed).hasMatch())
        return QUrl(trimmed);
    return QUrl(QStringLiteral("https://") + trimmed);
}

bool opensWithoutAsking(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https")
        || scheme == QLatin1String("mailto");
}

QString safeAttachmentFileName(const QString &fileName, const QString &attachmentId)
{
    // Both separators count, whatever platform wrote the name.
    QString last = fileName;
    const qsizetype cut = qMax(last.lastIndexOf(QLatin1Char('/')), last.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        last = last.mid(cut + 1);
    return safeFileName(last, safeFileName(attachmentId, QStringLiteral("attachment")) + QStringLiteral(".bin"));
}

QString attachmentTempPath(const QString &folder, const QString &attachmentId, const QString &fileName)
{
    // The id names a folder, and ids arrive from other devices too.
    const QString sub = safeFileName(attachmentId, QStringLiteral("attachment"));
    return folder + QLatin1Char('/') + sub + QLatin1Char('/') + safeAttachmentFileName(fileName, attachmentId);
}

bool attachmentOpensWithoutAsking(const QString &fileName)
{
    static const QStringList safe = {
        QStringLiteral("png"), QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("gif"),
        QStringLiteral("webp"), QStringLiteral("bmp"), QStringLiteral("tif"),  QStringLiteral("tiff"),
        QStringLiteral("pdf"),  QStringLiteral("txt"), QStringLiteral("md"),   QStringLiteral("csv"),
        QStringLiteral("doc"),  QStringLiteral("docx"), QStringLiteral("xls"), QStringLiteral("xlsx"),
        QStringLiteral("ppt"),  QStringLiteral("pptx"), QStringLiteral("odt"), QStringLiteral("ods"),
        QStringLiteral("odp"),  QStringLiteral("rtf"),
    };
    const QString name = safeAttachmentFileName(fileName, QStringLiteral("x"));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && safe.contains(name.mid(dot + 1).toLower());
}

QString formatAttachmentSize(qint64 bytes)
{
    const double kb = double(bytes) / 1024.0;
    if (kb < 1024.0)
        return QCoreApplication::translate("NoteEditor", "%1 KB").arg(kb, 0, 'f', 1);
    return QCoreApplication::translate("NoteEditor", "%1 MB").arg(kb / 1024.0, 0, 'f', 1);
}

} // namespace EditorRules
