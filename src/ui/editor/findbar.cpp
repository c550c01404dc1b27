#include "findbar.h"

#include "noteeditor.h"
#include "textfinder.h"
#include "textformat.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QToolButton *toolButton(const QString &text, const QString &toolTip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

FindBar::FindBar(NoteEditor *editor, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
{
    setAccessibleName(tr("Find in note"));
    m_find = new QLineEdit(this);
    m_find->setPlaceholderText(tr("Find in note"));
    m_find->setAccessibleName(tr("Find"));
    m_find->setClearButtonEnabled(true);
    m_count = new QLabel(this);
    m_count->setMinimumWidth(m_count->fontMetrics().horizontalAdvance(tr("No results")) + 8);
    m_previous = toolButton(QStringLiteral("↑"), tr("Previous Match (Shift+F3)"), this);
    m_next = toolButton(QStringLiteral("↓"), tr("Next Match (F3)"), this);
    m_replaceToggle = toolButton(tr("Replace"), tr("Show Replace (Ctrl+R)"), this);
    m_replaceToggle->setCheckable(true);
    m_close = toolButton(QStringLiteral("×"), tr("Close (Escape)"), this);

    auto *findRow = new QHBoxLayout;
    findRow->setContentsMargins(0, 0, 0, 0);
    findRow->addWidget(m_find, 1);
    findRow->addWidget(m_count);
    findRow->addWidget(m_previous);
    findRow->addWidget(m_next);
    findRow->addWidget(m_replaceToggle);
    findRow->addWidget(m_close);

    m_replaceRow = new QWidget(this);
    m_replace = new QLineEdit(m_replaceRow);
    m_replace->setPlaceholderText(tr("Replace with"));
    m_replace->setAccessibleName(tr("Replace with"));
    m_replaceOne = new QPushButton(tr("Replace"), m_replaceRow);
    m_replaceEvery = new QPushButton(tr("Replace All"), m_replaceRow);
    auto *replaceRow = new QHBoxLayout(m_replaceRow);
    replaceRow->setContentsMargins(0, 0, 0, 0);
    replaceRow->addWidget(m_replace, 1);
    replaceRow->addWidget(m_replaceOne);
    replaceRow->addWidget(m_replaceEvery);
    m_replaceRow->hide();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);
    layout->addLayout(findRow);
    layout->addWidget(m_replaceRow);
    hide();

    m_refreshTimer = new QTimer(this);
    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(150);
    connect(m_refreshTimer, &QTimer::timeout, this, &FindBar::refresh);

    connect(m_find, &QLineEdit::textChanged, this, [this] {
        m_searchTerms = false;
        refresh();
        if (!m_editor)
            return;
        // As the query grows, the match at or after the selection stays current.
        const int index = TextFinder::nextMatch(m_matches, m_editor->textCursor().selectionStart(), true);
        if (index >= 0)
            select(index);
    });
    connect(m_previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(m_next, &QToolButton::clicked, this, &FindBar::findNext);
    connect(m_close, &QToolButton::clicked, this, &FindBar::close);
    connect(m_replaceToggle, &QToolButton::toggled, this, &FindBar::setReplaceVisible);
    connect(m_replaceOne, &QPushButton::clicked, this, &FindBar::replaceCurrent);
    connect(m_replaceEvery, &QPushButton::clicked, this, &FindBar::replaceAll);
    m_find->installEventFilter(this);
    m_replace->installEventFilter(this);
    if (m_editor) {
        m_editor->installEventFilter(this);
        connect(m_editor->document(), &QTextDocument::contentsChanged, this, [this] {
            if (!m_matches.isEmpty() || isVisible())
                m_refreshTimer->start();
        });
        connect(m_editor, &NoteEditor::noteSwitched, this, [this] {
            if (m_searchTerms) {
                m_searchTerms = false;
                m_matches.clear();
                highlight();
            }
            if (isVisible())
                refresh();
        });
    }
}

void FindBar::open(bool replace)
{
    if (!m_editor)
        return;
    const QString selected = m_editor->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        m_find->setText(selected);
    show();
    m_replaceToggle->setChecked(replace || m_replaceToggle->isChecked());
    setReplaceVisible(m_replaceToggle->isChecked());
    m_searchTerms = false;
    refresh();
    m_find->setFocus(Qt::ShortcutFocusReason);
    m_find->selectAll();
}

void FindBar::close()
{
    hide();
    m_searchTerms = false;
    m_matches.clear();
    m_current = -1;
    highlight();
    if (m_editor)
        m_editor->setFocus(Qt::OtherFocusReason);
}

void FindBar::showSearchTerms(const QString &query)
{
    if (!m_editor || isVisible())
        return;
    m_searchTerms = true;
    m_termsQuery = query;
    m_matches = TextFinder::findWords(m_editor->document(), query);
    m_current = -1;
    highlight();
    if (!m_matches.isEmpty()) {
        // The first match in view, without selecting it: typing must not replace it.
        QTextCursor cursor = m_editor->textCursor();
        cursor.setPosition(m_matches.first().selectionStart());
        m_editor->setTextCursor(cursor);
        m_editor->ensureCursorVisible();
    }
}

void FindBar::addMenuCommands(QMenu *menu)
{
    const auto add = [this, menu](const QString &text, const QKeySequence &key, auto slot) {
        QAction *action = menu->addAction(text);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
    };
    add(tr("Find in Note..."), QKeySequence::Find, [this] { open(false); });
    add(tr("Find Next"), QKeySequence(Qt::Key_F3), &FindBar::findNext);
    add(tr("Find Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), &FindBar::findPrevious);
    add(tr("Replace..."), QKeySequence(Qt::CTRL | Qt::Key_R), [this] { open(true); });
}

QString FindBar::countText() const
{
    return m_count->text();
}

void FindBar::refresh()
{
    if (!m_editor)
        return;
    m_matches = m_searchTerms ? TextFinder::findWords(m_editor->document(), m_termsQuery)
                              : TextFinder::findAll(m_editor->document(), m_find->text());
    m_current = TextFinder::matchAt(m_matches, m_editor->textCursor());
    highlight();
    updateCount();
}

void FindBar::step(bool forward)
{
    if (!m_editor)
        return;
    if (!isVisible() && !m_searchTerms) {
        if (m_find->text().isEmpty()) {
            open(false);
            return;
        }
        show();
        refresh();
    }
    if (m_matches.isEmpty())
        return;
    const QTextCursor cursor = m_editor->textCursor();
    const int here = TextFinder::matchAt(m_matches, cursor);
    int index;
    if (here >= 0)
        index = int((here + (forward ? 1 : m_matches.size() - 1)) % m_matches.size());
    else
        index = TextFinder::nextMatch(m_matches, cursor.selectionStart(), forward);
    select(index);
}

void FindBar::select(int index)
{
    if (!m_editor || index < 0 || index >= m_matches.size())
        return;
    m_editor->setTextCursor(m_matches.at(index));
    m_editor->ensureCursorVisible();
    m_current = index;
    highlight();
    updateCount();
}

void FindBar::highlight()
{
    if (!m_editor)
        return;
    const bool dark = isDarkPalette(m_editor->palette());
    QTextCharFormat all;
    all.setBackground(dark ? QColor(0x6B, 0x5A, 0x00) : QColor(0xFF, 0xE0, 0x82));
    all.setForeground(dark ? QColor(Qt::white) : QColor(0x1A, 0x1A, 0x1A));
    QTextCharFormat current = all;
    current.setBackground(dark ? QColor(0xB0, 0x5A, 0x00) : QColor(0xFF, 0xA7, 0x26));
    QList<QTextEdit::ExtraSelection> selections;
    selections.reserve(m_matches.size());
    for (int i = 0; i < m_matches.size(); ++i)
        selections.append({m_matches.at(i), i == m_current ? current : all});
    m_editor->setExtraSelections(selections);
}

void FindBar::setReplaceVisible(bool visible)
{
    m_replaceRow->setVisible(visible);
    const bool writable = m_editor && !m_editor->isReadOnly();
    m_replaceRow->setEnabled(writable);
    if (m_replaceToggle->isChecked() != visible)
        m_replaceToggle->setChecked(visible);
}

void FindBar::updateCount()
{
    if (m_find->text().isEmpty())
        m_count->clear();
    else if (m_matches.isEmpty())
        m_count->setText(tr("No results"));
    else if (m_current >= 0)
        m_count->setText(tr("%1 of %2").arg(m_current + 1).arg(m_matches.size()));
    else
        m_count->setText(tr("%n match(es)", nullptr, int(m_matches.size())));
    m_count->setAccessibleName(m_count->text());
}

void FindBar::replaceCurrent()
{
    if (!m_editor || m_editor->isReadOnly() || m_searchTerms)
        return;
    refresh();
    QTextCursor cursor = m_editor->textCursor();
    if (TextFinder::matchAt(m_matches, cursor) < 0) {
        step(true);
        return;
    }
    cursor.insertText(m_replace->text());
    m_editor->setTextCursor(cursor);
    refresh();
    const int next = TextFinder::nextMatch(m_matches, cursor.position(), true);
    if (next >= 0)
        select(next);
}

void FindBar::replaceAll()
{
    if (!m_editor || m_editor->isReadOnly() || m_searchTerms)
        return;
    const int replaced = TextFinder::replaceAll(TextFinder::findAll(m_editor->document(), m_find->text()),
                                                m_replace->text());
    refresh();
    m_count->setText(tr("%n replaced", nullptr, replaced));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (key->key() == Qt::Key_Escape && (watched != m_editor || isVisible() || m_searchTerms)) {
        close();
        return true;
    }
    if (enter && watched == m_find) {
        step(!(key->modifiers() & Qt::ShiftModifier));
        return true;
    }
    if (enter && watched == m_replace) {
        replaceCurrent();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
