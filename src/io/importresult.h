#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The context lupdate files the import texts under, shared with the import dialog.
struct ImportText
{
    Q_DECLARE_TR_FUNCTIONS(ImportDialog)
};

// Outcome of importing another application's archive.
struct ImportResult
{
    int imported = 0;    // notes
    int skipped = 0;
    int errors = 0;      // failed inserts and refused archive entries or records
    int attachments = 0; // attachment files stored
    int warnings = 0;    // imported, but not as written (text in another encoding)
    QString error;       // set when the import could not run at all
    QStringList problems; // each error and warning, naming what it concerns

    void addError(const QString &problem) { ++errors; problems.append(problem); }
    void addWarning(const QString &problem) { ++warnings; problems.append(problem); }
};

class BulkJob;

// The outcome of an import that job ran, from what its plan counted: the
// committed rows, or why nothing was kept (a cancel, a failed write).
ImportResult importOutcome(ImportResult planned, const BulkJob &job);

// "Imported: %1 notes", then the attachments, skipped and errors lines only
// when their count is above zero, then the error text when there is one,
// then the first problems by name.
inline QString importSummary(const ImportResult &result)
{
    QString summary = ImportText::tr("Imported: %1 notes").arg(result.imported);
    if (result.attachments > 0)
        summary += ImportText::tr("\nAttachments: %1").arg(result.attachments);
    if (result.skipped > 0)
        summary += ImportText::tr("\nSkipped: %1").arg(result.skipped);
    if (result.errors > 0)
        summary += ImportText::tr("\nErrors: %1").arg(result.errors);
    if (result.warnings > 0)
        summary += ImportText::tr("\nWarnings: %1").arg(result.warnings);
    if (!result.error.isEmpty())
        summary += QLatin1Char('\n') + result.error;
    constexpr int kShown = 10;
    for (qsizetype i = 0; i < qMin<qsizetype>(kShown, result.problems.size()); ++i)
        summary += QStringLiteral("\n\u2022 ") + result.problems.at(i);
    if (result.problems.size() > kShown)
        summary += ImportText::tr("\n... and %1 more (see the log)").arg(result.problems.size() - kShown);
    return summary;
}
