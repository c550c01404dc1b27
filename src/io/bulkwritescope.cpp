#include "bulkwritescope.h"

#include "attachmentrepository.h"
#include "noterepository.h"
#include "notebookrepository.h"

BulkWriteScope::BulkWriteScope(const IoRepositories &repositories)
    : m_repositories(repositories)
{
    if (m_repositories.notes)
        m_blockNotes.emplace(m_repositories.notes);
    if (m_repositories.notebooks)
        m_blockNotebooks.emplace(m_repositories.notebooks);
    if (m_repositories.attachments)
        m_blockAttachments.emplace(m_repositories.attachments);
}

BulkWriteScope::~BulkWriteScope()
{
    m_blockNotes.reset();
    m_blockNotebooks.reset();
    m_blockAttachments.reset();
    // Notebooks first, so a list that reacts to notes finds their notebooks.
    if (m_notebooks && m_repositories.notebooks)
        emit m_repositories.notebooks->notebooksChanged();
    if (m_notes && m_repositories.notes)
        emit m_repositories.notes->notesChanged();
    if (m_attachments && m_repositories.attachments)
        emit m_repositories.attachments->attachmentsChanged();
}
