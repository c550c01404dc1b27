#include "editortoolbar.h"

#include "noteeditor.h"
#include "thememanager.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QToolButton>

namespace {

constexpr int kIconSize = 24;
constexpr qreal kIconScale = 2.0;

QPixmap blankPixmap()
{
    QPixmap pixmap(QSize(kIconSize, kIconSize) * kIconScale);
    pixmap.setDevicePixelRatio(kIconScale);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Set while the icons are drawn: the toolbar's own palette, so that a theme
// switch redraws them in the new colours.
QColor g_iconColor;

QColor iconColor()
{
    return g_iconColor.isValid() ? g_iconColor : QApplication::palette().color(QPalette::Active, QPalette::ButtonText);
}

struct GlyphStyle
{
    int pixelSize = 13;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
};

QIcon glyphIcon(const QString &text, const GlyphStyle &style)
{
    QPixmap pixmap = blankPixmap();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("IBM Plex Sans"));
    font.setPixelSize(style.pixelSize);
    font.setBold(style.bold);
    font.setItalic(style.italic);
    font.setUnderline(style.underline);
    font.setStrikeOut(style.strike);
    painter.setFont(font);
    painter.setPen(iconColor());
    painter.drawText(QRectF(0, 0, kIconSize, kIconSize), Qt::AlignCenter, text);
    return QIcon(pixmap);
}

// Simple line drawings on the 24 px grid.
template<typename Draw>
QIcon drawnIcon(Draw draw)
{
    QPixmap pixmap = blankPixmap();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(iconColor(), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    draw(painter);
    return QIcon(pixmap);
}

QIcon checkBoxIcon()
{
    return drawnIcon([](QPainter &p) {
        p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
        QPainterPath tick;
        tick.moveTo(8.5, 12);
        tick.lineTo(11, 14.5);
        tick.lineTo(15.5, 9.5);
        p.drawPath(tick);
    });
}

QIcon alignIcon(Qt::Alignment alignment)
{
    return drawnIcon([alignment](QPainter &p) {
        const qreal lengths[] = {14, 9, 14, 9};
        for (int i = 0; i < 4; ++i) {
            const qreal y = 7 + i * 3.5;
            const qreal length = lengths[i];
            qreal x = 5;
            if (alignment & Qt::AlignHCenter)
                x = 12 - length / 2;
            else if (alignment & Qt::AlignRight)
                x = 19 - length;
            p.drawLine(QPointF(x, y), QPointF(x + length, y));
        }
    });
}

QIcon chainIcon()
{
    return drawnIcon([](QPainter &p) {
        p.translate(12, 12);
        p.rotate(-45);
        p.drawRoundedRect(QRectF(-9, -3, 9, 6), 3, 3);
        p.drawRoundedRect(QRectF(0, -3, 9, 6), 3, 3);
        p.drawLine(QPointF(-3, 0), QPointF(3, 0));
    });
}

// A paperclip: the emoji has no glyph in our fonts.
QIcon paperclipIcon()
{
    return drawnIcon([](QPainter &p) {
        p.translate(12, 12);
        p.rotate(40);
        p.translate(0, -0.5);
        QPainterPath clip(QPointF(1.5, -4));
        clip.lineTo(1.5, 4.5);
        clip.arcTo(QRectF(-1.5, 3, 3, 3), 0, -180);
        clip.lineTo(-1.5, -6);
        clip.arcTo(QRectF(-1.5, -9.25, 6.5, 6.5), 180, -180);
        clip.lineTo(5, 5.75);
        clip.arcTo(QRectF(-4.5, 1, 9.5, 9.5), 0, -180);
        clip.lineTo(-4.5, -3);
        p.drawPath(clip);
    });
}

QIcon commandIcon(EditorCommand command)
{
    switch (command) {
    case EditorCommand::Bold:
        return glyphIcon(QStringLiteral("B"), {13, true});
    case EditorCommand::Italic:
        return glyphIcon(QStringLiteral("I"), {13, false, true});
    case EditorCommand::Underline:
        return glyphIcon(QStringLiteral("U"), {13, false, false, true});
    case EditorCommand::Strikethrough:
        return glyphIcon(QStringLiteral("S"), {13, false, false, false, true});
    case EditorCommand::InlineCode:
        return glyphIcon(QStringLiteral("<>"), {10, true});
    case EditorCommand::BulletList:
        return glyphIcon(QStringLiteral("\u2022"), {18});
    case EditorCommand::NumberedList:
        return glyphIcon(QStringLiteral("1."), {12});
    case EditorCommand::CheckList:
        return checkBoxIcon();
    case EditorCommand::CodeBlock:
        return glyphIcon(QStringLiteral("{ }"), {10});
    case EditorCommand::Blockquote:
        return glyphIcon(QStringLiteral("\u201C"), {18});
    case EditorCommand::AlignLeft:
        return alignIcon(Qt::AlignLeft);
    case EditorCommand::AlignCenter:
        return alignIcon(Qt::AlignHCenter);
    case EditorCommand::AlignRight:
        return alignIcon(Qt::AlignRight);
    case EditorCommand::InsertLink:
        return chainIcon();
    case EditorCommand::InsertDivider:
        return glyphIcon(QStringLiteral("\u2014"), {16});
    case EditorCommand::InsertTable:
        return glyphIcon(QStringLiteral("\u229E"), {18});
    case EditorCommand::InsertAttachment:
        return paperclipIcon();
    default:
        return QIcon();
    }
}

} // namespace

EditorToolbar::EditorToolbar(QWidget *parent)
    : QToolBar(parent)
{
    applyIconSize();

    for (EditorCommand command : {EditorCommand::Bold, EditorCommand::Italic, EditorCommand::Underline,
                                   EditorCommand::Strikethrough, EditorCommand::InlineCode})
        addButton(command, true);
    addSeparator();

    m_heading = new QComboBox(this);
    m_heading->setToolTip(tr("Heading Level"));
    m_heading->setAccessibleName(tr("Heading Level"));
    m_heading->setMinimumWidth(100);
    m_heading->addItem(tr("Normal"), 0);
    for (int level = 1; level <= 6; ++level)
        m_heading->addItem(tr("Heading %1").arg(level), level);
    addWidget(m_heading);
    connect(m_heading, &QComboBox::currentIndexChanged, this, &EditorToolbar::onHeadingChosen);
    addSeparator();

    const auto addGroup = [this](std::initializer_list<EditorCommand> commands, bool checkable) {
        for (EditorCommand command : commands)
            addButton(command, checkable);
    };
    addGroup({EditorCommand::BulletList, EditorCommand::NumberedList, EditorCommand::CheckList}, true);
    addSeparator();
    addGroup({EditorCommand::CodeBlock, EditorCommand::Blockquote}, true);
    addSeparator();
    addGroup({EditorCommand::AlignLeft, EditorCommand::AlignCenter, EditorCommand::AlignRight}, true);
    addSeparator();
    addGroup({EditorCommand::InsertLink, EditorCommand::InsertDivider, EditorCommand::InsertTable,
              EditorCommand::InsertAttachment}, false);
    refreshIcons();
    // Qt's own button for the commands a narrow window cannot show.
    if (auto *more = findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More formatting commands"));
}

QAction *EditorToolbar::addButton(EditorCommand command, bool checkable)
{
    const QString toolTip = EditorActions::toolTip(command);
    QAction *action = addAction(toolTip);
    action->setToolTip(toolTip);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, command] { EditorActions::run(m_editor, command); });
    m_actions.insert(command, action);
    return action;
}

void EditorToolbar::refreshIcons()
{
    g_iconColor = palette().color(QPalette::Active, QPalette::ButtonText);
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it)
        it.value()->setIcon(commandIcon(it.key()));
    g_iconColor = QColor();
}

void EditorToolbar::applyIconSize()
{
    // The icons grow with the text; they are drawn at twice their size, so
    // they stay sharp up to the largest text size.
    const int side = ThemeManager::scaledPixels(kIconSize);
    setIconSize(QSize(side, side));
}

void EditorToolbar::changeEvent(QEvent *event)
{
    QToolBar::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyIconSize();
    // The icons are drawn pixmaps: a new palette (a theme switch) needs new ones.
    if (event->type() == QEvent::PaletteChange)
        refreshIcons();
}

QAction *EditorToolbar::action(EditorCommand command) const
{
    return m_actions.value(command);
}

void EditorToolbar::setEditor(NoteEditor *editor)
{
    if (m_editor)
        disconnect(m_editor, nullptr, this, nullptr);
    m_editor = editor;
    if (m_editor)
        connect(m_editor, &NoteEditor::formatStateChanged, this, &EditorToolbar::onFormatState);
}

void EditorToolbar::onHeadingChosen(int index)
{
    if (m_updating || !m_editor || index < 0)
        return;
    EditorActions::setHeading(m_editor, m_heading->itemData(index).toInt());
}

void EditorToolbar::onFormatState(const FormatState &state)
{
    m_updating = true;
    action(EditorCommand::Bold)->setChecked(state.bold);
    action(EditorCommand::Italic)->setChecked(state.italic);
    action(EditorCommand::Underline)->setChecked(state.underline);
    action(EditorCommand::Strikethrough)->setChecked(state.strike);
    action(EditorCommand::InlineCode)->setChecked(state.code);
    action(EditorCommand::CodeBlock)->setChecked(state.codeBlock);
    action(EditorCommand::Blockquote)->setChecked(state.blockquote);

    const int headingIndex = m_heading->findData(state.heading);
    if (headingIndex >= 0)
        m_heading->setCurrentIndex(headingIndex);

    action(EditorCommand::BulletList)->setChecked(state.listType == QLatin1String("bullet"));
    action(EditorCommand::NumberedList)->setChecked(state.listType == QLatin1String("ordered"));
    action(EditorCommand::CheckList)->setChecked(state.listType == QLatin1String("checked")
                                                 || state.listType == QLatin1String("unchecked"));

    const Qt::Alignment horizontal = state.alignment & Qt::AlignHorizontal_Mask;
    action(EditorCommand::AlignCenter)->setChecked(horizontal & Qt::AlignHCenter);
    action(EditorCommand::AlignRight)->setChecked(horizontal & Qt::AlignRight);
    action(EditorCommand::AlignLeft)->setChecked((horizontal & ~Qt::AlignAbsolute) == Qt::AlignLeft || horizontal == 0);

    QAction *table = action(EditorCommand::InsertTable);
    table->setEnabled(!state.inTable);
    table->setToolTip(state.inTable ? tr("Nested tables are not supported") : EditorActions::toolTip(EditorCommand::InsertTable));
    m_updating = false;
}
