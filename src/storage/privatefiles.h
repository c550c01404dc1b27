#pragma once

// Folders and files that only the current user may read: the data folder,
// the database and the folders for runtime files and temporary copies.

#include <QString>

namespace PrivateFiles {

// Creates path and any missing parents with owner-only access (0700). An
// existing final folder is accepted only when it is a real folder (not a
// link) owned by the user; tighten also sets its mode to 0700.
bool ensureFolder(const QString &path, bool tighten = false);
// A real folder (not a link) owned by the user that nobody else can enter.
bool isPrivateFolder(const QString &path);
// Gives an existing file owner-only read and write (0600).
void restrictFile(const QString &path);

// A folder for sockets, locks and temporary copies: XDG_RUNTIME_DIR when it
// is private to the user, else a verified private folder of our own. Empty
// when no such folder can be had.
QString runtimeFolder();

} // namespace PrivateFiles
