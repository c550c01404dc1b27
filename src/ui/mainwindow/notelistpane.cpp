#include "notelistpane.h"

#include "notelistwidget.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

NoteListPane::NoteListPane(QWidget *parent)
    : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_searchRow = new QWidget(this);
    auto *searchLayout = new QHBoxLayout(m_searchRow);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    m_searchField = new QLineEdit(m_searchRow);
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setAccessibleName(tr("Search notes"));
    searchLayout->addWidget(m_searchField);
    m_noteList = new NoteListWidget(this);
    m_layout->addWidget(m_searchRow);
    m_layout->addWidget(m_noteList);
}

void NoteListPane::setSearchBelow(bool below)
{
    if (below == isSearchBelow())
        return;
    m_layout->removeWidget(m_searchRow);
    m_layout->insertWidget(below ? 1 : 0, m_searchRow);
}

bool NoteListPane::isSearchBelow() const
{
    return m_layout->indexOf(m_searchRow) > m_layout->indexOf(m_noteList);
}
