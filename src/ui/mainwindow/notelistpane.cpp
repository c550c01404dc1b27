#include "notelistpane.h"

#include "notelistwidget.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

NoteListPane::NoteListPane(QWidget *parent)
    : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_searchRow = new QWidget(this);
    auto *searchLayout = new QVBoxLayout(m_searchRow);
    searchLayout->setContentsMargins(8, 8, 8, 8);
    searchLayout->setSpacing(4);
    m_searchField = new QLineEdit(m_searchRow);
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setAccessibleName(tr("Search notes"));
    searchLayout->addWidget(m_searchField);
    m_indexing = new QLabel(tr("Search index still being built: some notes may not be found yet."), m_searchRow);
    m_indexing->setWordWrap(true);
    m_indexing->setEnabled(false); // the muted text colour of the palette, light or dark
    m_indexing->hide();
    searchLayout->addWidget(m_indexing);
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

void NoteListPane::setIndexBuilding(bool building)
{
    m_indexing->setVisible(building);
    m_searchField->setPlaceholderText(building ? tr("Search (index being built)...") : tr("Search..."));
}
