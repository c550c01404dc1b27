#include "notebooklistdelegate.h"

#include "lineicons.h"
#include "notebooklistwidget.h"
#include "notelistdelegate.h"
#include "thememanager.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

NotebookRowMetrics notebookRowMetrics(int fontScalePercent)
{
    const qreal base = std::max(16 * fontScalePercent / 100, 1);
    NotebookRowMetrics m;
    m.nameSize = std::max(int(std::lround(base * 14 / 16)), 10);
    m.countSize = std::max(int(std::lround(base * 11 / 16)), 8);
    m.rowHeight = std::max(int(std::lround(m.nameSize * 2.2)) + 6, 36);
    return m;
}

namespace {

// Horizontal layout of a row, in pixels: the icon sits in the indent.
constexpr int kTextLeft = 48;
constexpr int kTextRightMargin = 16;
constexpr int kCountGap = 6;

QFont nameFont(const NotebookRowMetrics &metrics, int kind, bool selected)
{
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(metrics.nameSize);
    font.setWeight(selected || kind == NotebookListWidget::AllNotesKind ? QFont::Medium : QFont::Normal);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont countFont(const NotebookRowMetrics &metrics)
{
    QFont font(QStringLiteral("IBM Plex Mono"));
    font.setPixelSize(metrics.countSize);
    font.setWeight(QFont::Medium);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

qreal countReserve(const QFontMetricsF &countMetrics, const QString &count)
{
    return count.isEmpty() ? 0 : countMetrics.horizontalAdvance(count) + kCountGap;
}

} // namespace

int notebookRowWidth(int kind, const QString &name, const QString &count, int fontScalePercent)
{
    const NotebookRowMetrics metrics = notebookRowMetrics(fontScalePercent);
    // Selected rows are drawn heavier: the wider of the two.
    const qreal text = QFontMetricsF(nameFont(metrics, kind, true)).horizontalAdvance(name);
    return int(std::ceil(kTextLeft + text + countReserve(QFontMetricsF(countFont(metrics)), count) + kTextRightMargin));
}

NotebookListColors notebookListColors(const QPalette &palette)
{
    // The note list's shades, so that the two panes match.
    const NoteListColors c = noteListColors(palette);
    return {c.background, c.hover, c.selected, c.text, c.metaText, c.previewText, c.accent, c.focus};
}

QString notebookCountText(int kind, int count)
{
    if (kind < NotebookListWidget::AllNotesKind || kind > NotebookListWidget::TrashKind || count <= 0)
        return {};
    return QString::number(count);
}

NotebookListDelegate::NotebookListDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QSize NotebookListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), notebookRowMetrics(ThemeManager::fontScale()).rowHeight);
}

void NotebookListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    const NotebookRowMetrics metrics = notebookRowMetrics(ThemeManager::fontScale());
    const NotebookListColors colors = notebookListColors(option.palette);
    const QRectF row = option.rect;
    const int kind = index.data(NotebookListWidget::KindRole).toInt();
    const bool isNew = kind == NotebookListWidget::NewNotebookKind;
    const bool selected = (option.state & QStyle::State_Selected) && !isNew;
    const bool hovered = option.state & QStyle::State_MouseOver;

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::TextAntialiasing, true);

    if (selected) {
        painter->fillRect(row, colors.selected);
        painter->fillRect(QRectF(row.left(), row.top() + 6, 2, row.height() - 12), colors.accent);
    } else {
        painter->fillRect(row, hovered ? colors.hover : colors.background);
    }

    const QRectF iconBox(row.left() + 20, row.top() + std::floor((row.height() - 16) / 2), 16, 16);
    const qreal textLeft = row.left() + kTextLeft;
    const qreal textRight = row.right() - kTextRightMargin;
    const qreal baseline = iconBox.top() + 14;

    const QColor iconColor = selected ? colors.accent : colors.icon;
    switch (kind) {
    case NotebookListWidget::AllNotesKind:
        paintLineIcon(*painter, LineIcon::AllNotes, iconBox, iconColor);
        break;
    case NotebookListWidget::NotebookKind:
        paintLineIcon(*painter, LineIcon::Notebook, iconBox, iconColor);
        if (index.data(NotebookListWidget::IsSharedRole).toBool()) {
            painter->setPen(Qt::NoPen);
            painter->setBrush(colors.icon);
            const qreal r = iconBox.width() * 1.5 / 24;
            for (const qreal cx : {13.0, 16.0, 19.0})
                painter->drawEllipse(QPointF(iconBox.left() + iconBox.width() * cx / 24,
                                             iconBox.top() + iconBox.height() * 15 / 24),
                                     r, r);
        }
        break;
    case NotebookListWidget::TrashKind:
        paintLineIcon(*painter, LineIcon::Trash, iconBox, iconColor);
        break;
    default:
        paintLineIcon(*painter, LineIcon::Plus, iconBox, colors.muted);
        break;
    }

    const QFont rowNameFont = nameFont(metrics, kind, selected);
    const QString count = notebookCountText(kind, index.data(NotebookListWidget::CountRole).toInt());
    const QFont rowCountFont = countFont(metrics);
    const QFontMetricsF countMetrics(rowCountFont);
    const qreal reserve = countReserve(countMetrics, count);

    const QString name = QFontMetricsF(rowNameFont).elidedText(index.data(NotebookListWidget::NameRole).toString(),
                                                               Qt::ElideRight, std::max<qreal>(textRight - textLeft - reserve, 0));
    painter->setFont(rowNameFont);
    painter->setPen(isNew ? colors.muted : colors.text);
    painter->drawText(QPointF(textLeft, baseline), name);

    if (!count.isEmpty()) {
        painter->setFont(rowCountFont);
        painter->setPen(colors.muted);
        painter->drawText(QPointF(textRight - countMetrics.horizontalAdvance(count), baseline), count);
    }
    if (option.state & QStyle::State_HasFocus)
        paintFocusFrame(painter, row, colors.focus);
    painter->restore();
}
