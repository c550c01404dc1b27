#pragma once

#include <QString>

// The folder for copies of attachments handed to other programs: made on
// first use inside the user's private runtime folder (0700, a fresh random
// name, so nothing can be planted in it beforehand) and removed with
// everything in it when the process exits. Empty when it cannot be made.
QString attachmentTempFolder();
