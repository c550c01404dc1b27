#pragma once

#include <QColor>
#include <QStyledItemDelegate>

// Sizes of a notebook row in pixels for a font scale percentage (70..160).
struct NotebookRowMetrics
{
    int nameSize = 0;
    int countSize = 0;
    int rowHeight = 0;
};
NotebookRowMetrics notebookRowMetrics(int fontScalePercent);

struct NotebookListColors
{
    QColor background, hover, selected, text, muted, icon, accent;
    QColor focus; // the keyboard focus frame
};
NotebookListColors notebookListColors(const QPalette &palette);

// The count shown at the right of a row: the decimal count for All Notes,
// notebooks and Trash when above 0; empty otherwise (and always for New Notebook).
QString notebookCountText(int kind, int count);

// The width a row of kind needs to show name and count without eliding them.
int notebookRowWidth(int kind, const QString &name, const QString &count, int fontScalePercent);

// Draws the sidebar rows: icon, name and note count.
class NotebookListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NotebookListDelegate(QObject *parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
