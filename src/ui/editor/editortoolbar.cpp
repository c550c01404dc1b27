#include "editortoolbar.h"

#include "noteeditor.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

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

    addButton(Button::Bold, glyphIcon(QStringLiteral("B"), {13, true}), tr("Bold (Ctrl+B)"), true);
    addButton(Button::Italic, glyphIcon(QStringLiteral("I"), {13, false, true}), tr("Italic (Ctrl+I)"), true);
    addButton(Button::Underline, glyphIcon(QStringLiteral("U"), {13, false, false, true}),
              tr("Underline (Ctrl+U)"), true);
    addButton(Button::Strikethrough, glyphIcon(QStringLiteral("S"), {13, false, false, false, true}),
              tr("Strikethrough (Ctrl+Shift+X)"), true);
    addButton(Button::InlineCode, glyphIcon(QStringLiteral("<>"), {10, true}), tr("Inline Code (Ctrl+`)"), true);
    addSeparator();

    m_heading = new QComboBox(this);
    m_heading->setToolTip(tr("Heading Level"));
    m_heading->setMinimumWidth(100);
    m_heading->addItem(tr("Normal"), 0);
    for (int level = 1; level <= 6; ++level)
        m_heading->addItem(tr("Heading %1").arg(level), level);
    addWidget(m_heading);
    connect(m_heading, &QComboBox::currentIndexChanged, this, &EditorToolbar::onHeadingChosen);
    addSeparator();

    addButton(Button::BulletList, glyphIcon(QStringLiteral("\u2022"), {18}), tr("Bullet List (Ctrl+Shift+8)"), true);
    addButton(Button::NumberedList, glyphIcon(QStringLiteral("1."), {12}), tr("Numbered List (Ctrl+Shift+7)"),
              true);
    addButton(Button::CheckList, checkBoxIcon(), tr("Checkbox List (Ctrl+Shift+9)"), true);
    addSeparator();

    addButton(Button::CodeBlock, glyphIcon(QStringLiteral("{ }"), {10}), tr("Code Block (Ctrl+Shift+`)"), true);
    addButton(Button::Blockquote, glyphIcon(QStringLiteral("\u201C"), {18}), tr("Blockquote (Ctrl+Shift+B)"), true);
    addSeparator();

    addButton(Button::AlignLeft, alignIcon(Qt::AlignLeft), tr("Align Left (Ctrl+Shift+L)"), true);
    addButton(Button::AlignCenter, alignIcon(Qt::AlignHCenter), tr("Align Center (Ctrl+Shift+E)"), true);
    addButton(Button::AlignRight, alignIcon(Qt::AlignRight), tr("Align Right (Ctrl+Shift+R)"), true);
    addSeparator();

    addButton(Button::Link, chainIcon(), tr("Insert Link (Ctrl+K)"), false);
    addButton(Button::Divider, glyphIcon(QStringLiteral("\u2014"), {16}), tr("Insert Divider"), false);
    addButton(Button::Table, glyphIcon(QStringLiteral("\u229E"), {18}), tr("Insert Table (Ctrl+T)"), false);
    addButton(Button::Attachment, paperclipIcon(),
              tr("Insert Attachment (Ctrl+Shift+A)"), false);
}

QAction *EditorToolbar::addButton(Button button, const QIcon &icon, const QString &toolTip, bool checkable)
{
    QAction *action = addAction(icon, toolTip);
    action->setToolTip(toolTip);
    action->setCheckable(checkable);
    connect(action, &QAction::triggered, this, [this, button] { triggerCommand(button); });
    m_actions.insert(button, action);
    return action;
}

QAction *EditorToolbar::action(Button button) const
{
    return m_actions.value(button);
}

void EditorToolbar::setEditor(NoteEditor *editor)
{
    if (m_editor)
        disconnect(m_editor, nullptr, this, nullptr);
    m_editor = editor;
    if (m_editor)
        connect(m_editor, &NoteEditor::formatStateChanged, this, &EditorToolbar::onFormatState);
}

void EditorToolbar::triggerCommand(Button button)
{
    NoteEditor *editor = m_editor;
    if (!editor)
        return;
    switch (button) {
    case Button::Bold: editor->toggleBold(); break;
    case Button::Italic: editor->toggleItalic(); break;
    case Button::Underline: editor->toggleUnderline(); break;
    case Button::Strikethrough: editor->toggleStrikethrough(); break;
    case Button::InlineCode: editor->toggleInlineCode(); break;
    case Button::BulletList: editor->toggleBulletList(); break;
    case Button::NumberedList: editor->toggleOrderedList(); break;
    case Button::CheckList: editor->toggleCheckList(); break;
    case Button::CodeBlock: editor->toggleCodeBlock(); break;
    case Button::Blockquote: editor->toggleBlockquote(); break;
    case Button::AlignLeft: editor->setAlignment(Qt::AlignLeft); break;
    case Button::AlignCenter: editor->setAlignment(Qt::AlignHCenter); break;
    case Button::AlignRight: editor->setAlignment(Qt::AlignRight); break;
    case Button::Link: editor->insertLink(); break;
    case Button::Divider: editor->insertDivider(); break;
    case Button::Table: editor->insertTableWithDialog(); break;
    case Button::Attachment: editor->insertAttachment(); break;
    }
}

void EditorToolbar::onHeadingChosen(int index)
{
    if (m_updating || !m_editor || index < 0)
        return;
    m_editor->setHeading(m_heading->itemData(index).toInt());
}

void EditorToolbar::onFormatState(bool bold, bool italic, bool underline, bool strike, bool code, int heading,
                                  const QString &listType, bool codeBlock, bool blockquote, bool inTable,
                                  Qt::Alignment alignment)
{
    m_updating = true;
    action(Button::Bold)->setChecked(bold);
    action(Button::Italic)->setChecked(italic);
    action(Button::Underline)->setChecked(underline);
    action(Button::Strikethrough)->setChecked(strike);
    action(Button::InlineCode)->setChecked(code);
    action(Button::CodeBlock)->setChecked(codeBlock);
    action(Button::Blockquote)->setChecked(blockquote);

    const int headingIndex = m_heading->findData(heading);
    if (headingIndex >= 0)
        m_heading->setCurrentIndex(headingIndex);

    action(Button::BulletList)->setChecked(listType == QLatin1String("bullet"));
    action(Button::NumberedList)->setChecked(listType == QLatin1String("ordered"));
    action(Button::CheckList)->setChecked(listType == QLatin1String("checked")
                                          || listType == QLatin1String("unchecked"));

    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask;
    action(Button::AlignCenter)->setChecked(horizontal & Qt::AlignHCenter);
    action(Button::AlignRight)->setChecked(horizontal & Qt::AlignRight);
    action(Button::AlignLeft)->setChecked((horizontal & ~Qt::AlignAbsolute) == Qt::AlignLeft || horizontal == 0);

    QAction *table = action(Button::Table);
    table->setEnabled(!inTable);
    table->setToolTip(inTable ? tr("Nested tables are not supported") : tr("Insert Table (Ctrl+T)"));
    m_updating = false;
}
