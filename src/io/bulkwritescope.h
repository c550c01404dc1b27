#pragma once

#include "iorepositories.h"

#include <QSignalBlocker>

#include <optional>

// Held while an import or restore writes many rows. Each repository's change
// signal would otherwise reach every list once per row (a refresh per note for
// thousands of notes); here they are held back and each repository whose data
// changed signals once when the scope ends.
class BulkWriteScope final
{
public:
    explicit BulkWriteScope(const IoRepositories &repositories);
    ~BulkWriteScope();

    BulkWriteScope(const BulkWriteScope &) = delete;
    BulkWriteScope &operator=(const BulkWriteScope &) = delete;

    void notesChanged() { m_notes = true; }
    void notebooksChanged() { m_notebooks = true; }
    void attachmentsChanged() { m_attachments = true; }

private:
    IoRepositories m_repositories;
    std::optional<QSignalBlocker> m_blockNotes;
    std::optional<QSignalBlocker> m_blockNotebooks;
    std::optional<QSignalBlocker> m_blockAttachments;
    bool m_notes = false;
    bool m_notebooks = false;
    bool m_attachments = false;
};
