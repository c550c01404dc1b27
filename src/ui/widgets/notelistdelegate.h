#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QStyledItemDelegate>

// Sizes of a note row in pixels for a font scale percentage (70..160).
struct NoteRowMetrics
{
    int titleSize = 0;
    int untitledTitleSize = 0;
    int previewSize = 0;
    int metaSize = 0;
    int notebookSize = 0;
    int rowHeight = 0;
};
NoteRowMetrics noteRowMetrics(int fontScalePercent);

// Colours of the note rows, derived from a palette's active group.
struct NoteListColors
{
    QColor background, hover, selected, separator;
    QColor text, untitledText, metaText, previewText;
    QColor accent, warning, conflict;
    // The keyboard focus frame: the accent where it stands out at least 3:1
    // from the row shades it is drawn on, else the text colour.
    QColor focus;
};
NoteListColors noteListColors(const QPalette &palette);

// The contrast ratio of two colours (1 to 21), as accessibility guidelines measure it.
qreal contrastRatio(const QColor &a, const QColor &b);
// The focus frame drawn inside a list row that has the keyboard focus.
void paintFocusFrame(QPainter *painter, const QRectF &row, const QColor &colour);

enum class NoteBadge { Shared, Pending, Conflict, Refused };
// Badges of a row in drawing order; syncStatus as stored (0 pending, 2 conflict).
// A note the server refused for good shows that instead of waiting.
QList<NoteBadge> noteBadges(bool shared, int syncStatus, bool refused = false);

// "⸺  " in front of an untitled row's text unless already there; "⸺  Untitled" for none.
QString untitledTitleText(const QString &text);

// Fonts of a row: the sans family at a pixel size, and the small-caps-like
// mono meta font (all capitals, 108 % letter spacing).
QFont noteSansFont(int pixelSize, int weight, bool italic = false);
QFont noteMetaFont(int pixelSize, int weight);

// Where the parts of a row go, in the row's coordinates (no painting).
struct NoteRowLayout
{
    qreal contentLeft = 0;
    qreal contentRight = 0;
    qreal titleWidth = 0;      // content width less the badges' reserve
    qreal titleBaseline = 0;
    QList<QRectF> badgeBoxes;  // 14 x 14, one per badge
    qreal previewBaseline = 0;
    qreal metaBaseline = 0;
    QRectF accentBar;          // shown on the selected row
};
NoteRowLayout noteRowLayout(const QRectF &row, const NoteRowMetrics &metrics, int badgeCount, bool untitled);

// A search snippet cut into its plain and matched runs, line ends as spaces.
struct SnippetPart
{
    QString text;
    bool matched = false;
    bool operator==(const SnippetPart &) const = default;
};
QList<SnippetPart> snippetParts(const QString &snippet);

// Draws note rows as cards of title, preview and meta line (relative time and
// notebook) with status badges. Reads the font scale at paint time.
class NoteListDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NoteListDelegate(QObject *parent = nullptr);

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};
