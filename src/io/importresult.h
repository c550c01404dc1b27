#pragma once

#include <QCoreApplication>
#include <QString>

// Outcome of importing another application's archive.
struct ImportResult
{
    int imported = 0;    // notes
    int skipped = 0;
    int errors = 0;      // failed inserts and refused archive entries or records
    int attachments = 0; // attachment files stored
    QString error;       // set when the import could not run at all
};

// "Imported: %1 notes", then the attachments, skipped and errors lines only
// when their count is above zero, then the error text when there is one.
inline QString importSummary(const ImportResult &result)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("ImportDialog", text); };
    QString summary = tr("Imported: %1 notes").arg(result.imported);
    if (result.attachments > 0)
        summary += tr("\nAttachments: %1").arg(result.attachments);
    if (result.skipped > 0)
        summary += tr("\nSkipped: %1").arg(result.skipped);
    if (result.errors > 0)
        summary += tr("\nErrors: %1").arg(result.errors);
    if (!result.error.isEmpty())
        summary += QLatin1Char('\n') + result.error;
    return summary;
}
