#include "restoreplan.h"

namespace RestorePlan {

RestoreAction decide(RestoreMode mode, const std::optional<QDateTime> &storedTime, const QDateTime &archivedTime)
{
    if (!storedTime)
        return RestoreAction::Insert;
    switch (mode) {
    case RestoreMode::SkipExisting:
        return RestoreAction::Keep;
    case RestoreMode::Overwrite:
        return RestoreAction::Overwrite;
    case RestoreMode::OverwriteOlder:
        return *storedTime < archivedTime ? RestoreAction::Overwrite : RestoreAction::Keep;
    }
    return RestoreAction::Keep;
}

RestoreAction decide(RestoreMode mode, const std::optional<Note> &stored, const Note &archived)
{
    const RestoreAction action =
        decide(mode, stored ? std::optional<QDateTime>(stored->updatedAt) : std::nullopt, archived.updatedAt);
    if (action != RestoreAction::Overwrite)
        return action;
    const bool same = stored->body == archived.body && stored->notebookId == archived.notebookId
        && stored->createdAt == archived.createdAt && stored->updatedAt == archived.updatedAt
        && stored->modifiedAt == archived.modifiedAt && stored->deletedAt == archived.deletedAt
        && stored->version == archived.version;
    return same ? RestoreAction::Unchanged : RestoreAction::Overwrite;
}

} // namespace RestorePlan
