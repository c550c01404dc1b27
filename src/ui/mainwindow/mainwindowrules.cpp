#include "mainwindowrules.h"

#include "relativetime.h"

#include <QStringList>

#include <algorithm>

QList<int> parseSplitterSizes(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (parts.size() != 3)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok, 10);
        if (!ok || value < 0)
            return {};
        sizes << value;
    }
    return sizes;
}

QString splitterSizesText(const QList<int> &sizes)
{
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    return parts.join(QLatin1Char(','));
}

QList<int> normalPaneWidths(const QList<int> &stored, int windowWidth)
{
    if (stored.size() == 3)
        return stored;
    return {200, 260, std::max(windowWidth - 460, 400)};
}

QList<int> paneWidths(bool focusMode, bool sidebarVisible, const QList<int> &normal, int windowWidth)
{
    const QList<int> n = normalPaneWidths(normal, windowWidth);
    const int first = !focusMode && sidebarVisible ? n.at(0) : 0;
    const int second = !focusMode ? n.at(1) : 0;
    return {first, second, std::max(windowWidth - first - second, 100)};
}

QString noteMetaText(const QDateTime &updatedAt, int words, const QDateTime &now)
{
    const QString when = relativeTimeText(updatedAt, now);
    if (words < 1)
        return QStringLiteral("Updated %1").arg(when);
    return QStringLiteral("Updated %1 · %2 words").arg(when).arg(words);
}

int rowAfterRemoval(int removedRow, int count)
{
    if (count <= 0)
        return -1;
    return std::clamp(removedRow, 0, count - 1);
}
