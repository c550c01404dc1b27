#include "mainwindowrules.h"

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

QList<int> normalPaneWidths(const QList<int> &stored, int windowWidth, PaneMinimums minimums)
{
    if (stored.size() == 3 && stored.at(0) >= minimums.sidebar && stored.at(1) >= minimums.list)
        return stored;
    const int sidebar = std::max(200, minimums.sidebar);
    const int list = std::max(260, minimums.list);
    return {sidebar, list, std::max(windowWidth - sidebar - list, 400)};
}

QList<int> paneWidths(bool focusMode, bool sidebarVisible, const QList<int> &normal, int windowWidth,
                      PaneMinimums minimums)
{
    const QList<int> n = normalPaneWidths(normal, windowWidth, minimums);
    const int first = !focusMode && sidebarVisible ? n.at(0) : 0;
    const int second = !focusMode ? n.at(1) : 0;
    return {first, second, std::max(windowWidth - first - second, 100)};
}

int rowAfterRemoval(int removedRow, int count)
{
    if (count <= 0)
        return -1;
    return std::clamp(removedRow, 0, count - 1);
}
