#pragma once

#include <QString>

// Names that arrive from notes, archives and other devices, checked or made
// safe to use as one path component on every platform we write to.

// True when name can be used as it is: not empty, not "." or "..", no control
// character, slash, backslash or colon, and not a name Windows opens as a
// device whatever the folder or extension.
bool isSafeFileName(const QString &name);

// name without the characters Windows refuses in a name (<>:"/\|?* and control
// characters) and without leading or trailing dots and blanks; fallback when
// nothing safe remains.
QString safeFileName(const QString &name, const QString &fallback);
