#include "notelistdelegate.h"

#include "lineicons.h"
#include "notelistwidget.h"
#include "relativetime.h"
#include "thememanager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kBadgeStep = 22;
constexpr qreal kBadgeBox = 14;
const QString kUntitledDash = QStringLiteral("\u2E3A  ");

int scaled(qreal base, int numerator, int minimum)
{
    return std::max(int(std::lround(base * numerator / 16.0)), minimum);
}

} // namespace

NoteRowMetrics noteRowMetrics(int fontScalePercent)
{
    const qreal base = std::max(16 * fontScalePercent / 100, 1);
    NoteRowMetrics m;
    m.titleSize = scaled(base, 15, 10);
    m.untitledTitleSize = m.titleSize;
    m.previewSize = scaled(base, 13, 9);
    m.metaSize = scaled(base, 11, 8);
    m.notebookSize = scaled(base, 12, 9);
    m.rowHeight = std::max(int(std::lround(m.titleSize * 1.3)) + int(std::lround(m.previewSize * 1.3))
                               + int(std::lround(m.metaSize * 1.2)) + 41,
                           72);
    return m;
}

NoteListColors noteListColors(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    // Shades go towards the middle of the colour the rows are painted on.
    const bool light = base.lightness() >= 128;
    NoteListColors c;
    c.background = base;
    c.hover = light ? base.darker(103) : base.lighter(125);
    c.selected = light ? base.darker(108) : base.lighter(150);
    c.separator = light ? base.darker(112) : base.lighter(155);
    c.text = text;
    c.untitledText = light ? text.lighter(140) : text.darker(118);
    c.metaText = light ? text.lighter(225) : text.darker(170);
    c.previewText = light ? text.lighter(175) : text.darker(140);
    c.accent = palette.color(QPalette::Active, QPalette::Highlight);
    c.warning = ThemeManager::colour(ThemeManager::Colour::SyncWarning, palette);
    c.conflict = ThemeManager::colour(ThemeManager::Colour::SyncConflict, palette);
    const qreal weakest = std::min({contrastRatio(c.accent, c.background), contrastRatio(c.accent, c.hover),
                                    contrastRatio(c.accent, c.selected)});
    c.focus = weakest >= 3.0 ? c.accent : c.text;
    return c;
}

qreal contrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &colour) {
        const auto channel = [](qreal v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        const QColor rgb = colour.toRgb();
        return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
    };
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void paintFocusFrame(QPainter *painter, const QRectF &row, const QColor &colour)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setPen(QPen(colour, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(row.adjusted(2, 2, -2, -3), 4, 4);
    painter->restore();
}

QList<NoteBadge> noteBadges(bool shared, int syncStatus, bool refused)
{
    QList<NoteBadge> badges;
    if (shared)
        badges << NoteBadge::Shared;
    if (syncStatus == 0)
        badges << (refused ? NoteBadge::Refused : NoteBadge::Pending);
    if (syncStatus == 2)
        badges << NoteBadge::Conflict;
    return badges;
}

QString untitledTitleText(const QString &text)
{
    if (text.isEmpty())
        return kUntitledDash + QCoreApplication::translate("NoteListWidget", "Untitled");
    if (text.startsWith(QStringLiteral("\u2E3A ")))
        return text;
    return kUntitledDash + text;
}

QFont noteSansFont(int pixelSize, int weight, bool italic)
{
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setItalic(italic);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont noteMetaFont(int pixelSize, int weight)
{
    QFont font(QStringLiteral("IBM Plex Mono"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Weight(weight));
    font.setCapitalization(QFont::AllUppercase);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

namespace {

QFont titleFont(const NoteRowMetrics &m, bool untitled)
{
    return untitled ? noteSansFont(m.untitledTitleSize, 500, true) : noteSansFont(m.titleSize, 600);
}

} // namespace

NoteRowLayout noteRowLayout(const QRectF &row, const NoteRowMetrics &metrics, int badgeCount, bool untitled)
{
    const QFontMetricsF title(titleFont(metrics, untitled));
    const QFontMetricsF preview(noteSansFont(metrics.previewSize, 400));
    const QFontMetricsF meta(noteMetaFont(metrics.metaSize, 500));

    NoteRowLayout l;
    l.contentLeft = row.left() + 28;
    l.contentRight = row.right() - 24;
    const qreal contentWidth = l.contentRight - l.contentLeft;
    const qreal reserve = badgeCount > 0 ? badgeCount * kBadgeStep + 4 : 0;
    l.titleWidth = contentWidth - reserve;
    l.titleBaseline = row.top() + 16 + title.ascent();

    const qreal badgeY = row.top() + 16 + (title.ascent() - kBadgeBox) / 2 + 2;
    qreal badgeX = l.contentRight - badgeCount * kBadgeStep + 8;
    for (int i = 0; i < badgeCount; ++i, badgeX += kBadgeStep)
        l.badgeBoxes << QRectF(badgeX, badgeY, kBadgeBox, kBadgeBox);

    const qreal previewTop = row.top() + title.height() + 21;
    l.previewBaseline = previewTop + preview.ascent();
    l.metaBaseline = previewTop + preview.height() + 4 + meta.ascent();
    l.accentBar = QRectF(row.left(), row.top() + 16, 2, row.height() - 32);
    return l;
}

QList<SnippetPart> snippetParts(const QString &snippet)
{
    QList<SnippetPart> parts;
    QString text = snippet;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    bool matched = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && text.at(i) != kSnippetOpen && text.at(i) != kSnippetClose)
            continue;
        if (i > start)
            parts.append({text.mid(start, i - start), matched});
        if (!end)
            matched = text.at(i) == kSnippetOpen;
        start = i + 1;
    }
    return parts;
}

NoteListDelegate::NoteListDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

QSize NoteListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return QSize(option.rect.width(), noteRowMetrics(ThemeManager::fontScale()).rowHeight);
}

void NoteListDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const NoteRowMetrics metrics = noteRowMetrics(ThemeManager::fontScale());
    const NoteListColors colors = noteListColors(option.palette);
    const QRectF row = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool hovered = option.state & QStyle::State_MouseOver;
    const bool untitled = index.data(NoteListWidget::UntitledRole).toBool();
    const QList<NoteBadge> badges = noteBadges(index.data(NoteListWidget::SharedRole).toBool(),
                                               index.data(NoteListWidget::SyncStatusRole).toInt(),
                                               !index.data(NoteListWidget::RefusedRole).toString().isEmpty());
    const NoteRowLayout layout = noteRowLayout(row, metrics, int(badges.size()), untitled);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->setRenderHint(QPainter::TextAntialiasing, true);

    painter->fillRect(row, selected ? colors.selected : hovered ? colors.hover : colors.background);
    // A 1 px separator on the row's last pixel row, filled so it never blurs.
    painter->fillRect(QRectF(row.left(), row.bottom() - 1, row.width(), 1), colors.separator);
    if (selected)
        painter->fillRect(layout.accentBar, colors.accent);

    // Title
    const QFont title = titleFont(metrics, untitled);
    QString titleText = index.data(NoteListWidget::TitleRole).toString();
    if (untitled)
        titleText = untitledTitleText(titleText);
    const QFontMetricsF titleMetrics(title);
    painter->setFont(title);
    painter->setPen(untitled ? colors.untitledText : colors.text);
    painter->drawText(QPointF(layout.contentLeft, layout.titleBaseline),
                      titleMetrics.elidedText(titleText, Qt::ElideRight, std::max<qreal>(layout.titleWidth, 0)));

    // Badges
    for (int i = 0; i < badges.size(); ++i) {
        switch (badges.at(i)) {
        case NoteBadge::Shared:
            paintLineIcon(*painter, LineIcon::Person, layout.badgeBoxes.at(i), colors.accent);
            break;
        case NoteBadge::Pending:
            paintLineIcon(*painter, LineIcon::Cloud, layout.badgeBoxes.at(i), colors.previewText);
            break;
        case NoteBadge::Conflict:
            paintLineIcon(*painter, LineIcon::Warning, layout.badgeBoxes.at(i), colors.conflict);
            break;
        case NoteBadge::Refused:
            paintLineIcon(*painter, LineIcon::Warning, layout.badgeBoxes.at(i), colors.warning);
            break;
        }
    }

    const qreal contentWidth = layout.contentRight - layout.contentLeft;

    // Preview: a search result shows the text around its first match instead
    const QString snippet = index.data(NoteListWidget::SnippetRole).toString();
    const QString preview = index.data(NoteListWidget::PreviewRole).toString();
    if (!snippet.isEmpty()) {
        qreal x = layout.contentLeft;
        for (const SnippetPart &part : snippetParts(snippet)) {
            const QFont font = noteSansFont(metrics.previewSize, part.matched ? 600 : 400);
            const QFontMetricsF fm(font);
            const qreal room = layout.contentRight - x;
            if (room <= 0)
                break;
            const QString text = fm.elidedText(part.text, Qt::ElideRight, room);
            painter->setFont(font);
            painter->setPen(part.matched ? colors.text : colors.previewText);
            painter->drawText(QPointF(x, layout.previewBaseline), text);
            if (text != part.text)
                break;
            x += fm.horizontalAdvance(text);
        }
    } else if (!preview.isEmpty()) {
        const QFont font = noteSansFont(metrics.previewSize, 400);
        painter->setFont(font);
        painter->setPen(colors.previewText);
        painter->drawText(QPointF(layout.contentLeft, layout.previewBaseline),
                          QFontMetricsF(font).elidedText(preview, Qt::ElideRight, std::max<qreal>(contentWidth, 0)));
    }

    // Meta line: relative time, then the notebook
    const QFont metaFont = noteMetaFont(metrics.metaSize, 500);
    const QString when = relativeTimeText(index.data(NoteListWidget::UpdatedAtRole).toDateTime());
    painter->setFont(metaFont);
    painter->setPen(colors.metaText);
    painter->drawText(QPointF(layout.contentLeft, layout.metaBaseline), when);

    const QString notebook = index.data(NoteListWidget::NotebookNameRole).toString();
    if (!notebook.isEmpty()) {
        const qreal x = layout.contentLeft + QFontMetricsF(metaFont).horizontalAdvance(when) + 10;
        const QFont font = noteSansFont(metrics.notebookSize, 400);
        const QString text = QStringLiteral("·  ")
            + QFontMetricsF(font).elidedText(notebook, Qt::ElideRight, std::max<qreal>(layout.contentRight - x - 20, 0));
        painter->setFont(font);
        painter->drawText(QPointF(x, layout.metaBaseline), text);
    }
    if (option.state & QStyle::State_HasFocus)
        paintFocusFrame(painter, row, colors.focus);
    painter->restore();
}
