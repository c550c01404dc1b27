#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// Rules of the main window's layout and texts, apart from the widgets.

// "normalSplitterSizes" as stored ("200,260,800"): the three widths when there
// are exactly three parts (empty parts skipped) that are non-negative
// integers; empty otherwise.
QList<int> parseSplitterSizes(const QString &text);
QString splitterSizesText(const QList<int> &sizes);

// The narrowest the sidebar and the note list may be with their rows readable.
struct PaneMinimums
{
    int sidebar = 0;
    int list = 0;
};

// The widths of the normal layout: the stored ones when three are known and
// the sidebar and list are each at least their minimum (a small window can
// have squeezed them); else 200, 260 (or the minimums when wider) and the
// rest of the window (at least 400).
QList<int> normalPaneWidths(const QList<int> &stored, int windowWidth, PaneMinimums minimums = {});

// The splitter widths for focus mode and sidebar visibility: hidden panes
// get 0; the editor pane takes the rest of the window, at least 100.
QList<int> paneWidths(bool focusMode, bool sidebarVisible, const QList<int> &normal, int windowWidth,
                      PaneMinimums minimums = {});

// The row to select after the row at removedRow was taken out of a list that
// now holds count rows; -1 when it is empty.
int rowAfterRemoval(int removedRow, int count);
