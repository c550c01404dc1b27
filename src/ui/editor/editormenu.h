#pragma once

#include <memory>

class EditorAttachments;
class NoteEditor;
class QMenu;
class QPoint;

// The editor's context menu at its cursor: an attachment's commands, a
// link's, a table's, or else the standard menu. The caller runs it.
// viewportPos is where the click was.
std::unique_ptr<QMenu> editorContextMenu(NoteEditor *editor, EditorAttachments *attachments, const QPoint &viewportPos);
