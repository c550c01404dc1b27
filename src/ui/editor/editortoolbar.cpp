#include "editortoolbar.h"

#include "noteeditor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
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

QColor iconColor()
{
    return QApplication::palette().color(QPalette::Active, QPalette::ButtonText);
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

} // namespace

EditorToolbar::EditorToolbar(QWidget *parent)
    : QToolBar(parent)
{
    setIconSize(QSize(kIconSize, kIconSize));

    addButton(EditorCommand::Bold, glyphIcon(QStringLiteral("B"), {13, true}), true);
    addButton(EditorCommand::Italic, glyphIcon(QStringLiteral("I"), {13, false, true}), true);
    addButton(EditorCommand::Underline, glyphIcon(QStringLiteral("U"), {13, false, false, true}), true);
    addButton(EditorCommand::Strikethrough, glyphIcon(QStringLiteral("S"), {13, false, false, false, true}), true);
    addButton(EditorCommand::InlineCode, glyphIcon(QStringLiteral("<>"), {10, true}), true);
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

    addButton(EditorCommand::BulletList, glyphIcon(QStringLiteral("\u2022"), {18}), true);
    addButton(EditorCommand::NumberedList, glyphIcon(QStringLiteral("1."), {12}), true);
    addButton(EditorCommand::CheckList, checkBoxIcon(), true);
    addSeparator();

    addButton(EditorCommand::CodeBlock, glyphIcon(QStringLiteral("{ }"), {10}), true);
    addButton(EditorCommand::Blockquote, glyphIcon(QStringLiteral("\u201C"), {18}), true);
    addSeparator();

    addButton(EditorCommand::AlignLeft, alignIcon(Qt::AlignLeft), true);
    addButton(EditorCommand::AlignCenter, alignIcon(Qt::AlignHCenter), true);
    addButton(EditorCommand::AlignRight, alignIcon(Qt::AlignRight), true);
    addSeparator();

    addButton(EditorCommand::InsertLink, chainIcon(), false);
    addButton(EditorCommand::InsertDivider, glyphIcon(QStringLiteral("\u2014"), {16}), false);
    addButton(EditorCommand::InsertTable, glyphIcon(QStringLiteral("\u229E"), {18}), false);
    addButton(EditorCommand::InsertAttachment, paperclipIcon(), false);
    // Qt's own button for the commands a narrow window cannot show.
    if (auto *more = findChild<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(tr("More formatting commands"));
}

QAction *EditorToolbar::addButton(EditorCommand command, const QIcon &icon, bool checkable)
{
    const QString toolTip = EditorActions::toolTip(command);
    QAction *action = addAction(icon, toolTip);
    action->setToolTip(toolTip);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, command] { EditorActions::run(m_editor, command); });
    m_actions.insert(command, action);
    return action;
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
    m_editor->setHeading(m_heading->itemData(index).toInt());
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
