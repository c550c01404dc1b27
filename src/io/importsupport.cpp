#include "importsupport.h"

#include "attachmentrepository.h"
#include "bulkjob.h"
#include "extractionlimits.h"
#include "iolog.h"
#include "note.h"
#include "noterepository.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QStringDecoder>
#include <QUuid>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ImportSupport {

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

namespace {

bool hardLink(const QString &existing, const QString &link)
{
#ifdef Q_OS_WIN
    return CreateHardLinkW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(link).utf16()),
                           reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(existing).utf16()), nullptr);
#else
    return ::link(QFile::encodeName(existing).constData(), QFile::encodeName(link).constData()) == 0;
#endif
}

// QFile::copy syncs each file to disk; the writer syncs the job's files once before its rows commit.
bool copyFile(const QString &source, const QString &target)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    for (;;) {
        const QByteArray block = in.read(1024 * 1024);
        if (block.isEmpty())
            break;
        if (out.write(block) != block.size()) {
            out.remove();
            return false;
        }
    }
    out.close();
    if (in.error() != QFileDevice::NoError || out.error() != QFileDevice::NoError) {
        out.remove();
        return false;
    }
    return true;
}

// The attachment's file at target: a link to the file an earlier record of
// the same source got, else a copy charged to the budget. *problem says why not.
bool placeFile(const QString &source, const QString &target, AttachmentSink *sink, QString *problem)
{
    if (target.isEmpty())
        return false;
    if (sink) {
        const QString shared = sink->storedBySource.value(source);
        if (!shared.isEmpty() && QFile::exists(shared) && hardLink(shared, target))
            return true;
        if (sink->budget && !sink->budget->spend(QFileInfo(source).size())) {
            *problem = sink->budget->failure();
            return false;
        }
    }
    if (!copyFile(source, target))
        return false;
    if (sink)
        sink->storedBySource.insert(source, target);
    return true;
}

} // namespace

void planNote(WritePlan &plan, const Note &note, const QList<PendingAttachment> &attachments, ImportResult *result,
              AttachmentSink *sink)
{
    plan.addNote(note);
    for (const PendingAttachment &attachment : attachments) {
        const QString target = AttachmentRepository::filePath(attachment.record.id);
        QFile::remove(target);
        QString problem;
        if (placeFile(attachment.sourcePath, target, sink, &problem)) {
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
            plan.addCreatedFile(target);
            plan.addAttachment(attachment.record);
            continue;
        }
        qCWarning(lcIo) << "Import: cannot store attachment" << attachment.record.filename << problem;
        result->addError(problem.isEmpty()
                             ? QCoreApplication::translate("ImportDialog", "Attachment %1: cannot be stored")
                                   .arg(attachment.record.filename)
                             : QCoreApplication::translate("ImportDialog", "Attachment %1: %2")
                                   .arg(attachment.record.filename, problem));
    }
}

ImportResult outcome(ImportResult planned, const BatchWriter::Counts &written, bool committed, const QString &error)
{
    if (!planned.error.isEmpty())
        return planned;
    planned.errors += written.errors;
    if (committed) {
        planned.imported = written.notes;
        planned.attachments = written.attachments;
    } else {
        // Every row written is lost with the transaction.
        const int lost = written.notebooks + written.notes + written.attachments;
        planned.errors += qMax(1, lost);
        planned.error = QCoreApplication::translate("ImportDialog", "Nothing was imported: %1").arg(error);
        planned.problems.append(planned.error);
    }
    for (const QString &problem : std::as_const(planned.problems))
        qCWarning(lcIo) << "Import:" << problem;
    qCInfo(lcIo) << "Import:" << planned.imported << "notes," << planned.attachments << "attachments,"
                 << planned.errors << "errors";
    return planned;
}

} // namespace ImportSupport

ImportResult importOutcome(ImportResult planned, const BulkJob &job)
{
    if (job.wasCancelled()) {
        planned.imported = planned.attachments = 0;
        planned.error = QCoreApplication::translate("ImportDialog", "Cancelled: nothing was imported.");
        return planned;
    }
    return ImportSupport::outcome(planned, job.counts(), job.committed(), job.error());
}

namespace ImportSupport {

ImportResult runHere(const IoRepositories &repositories, const std::function<ImportResult(WritePlan &)> &producer,
                     const ProgressCallback &progress)
{
    if (!repositories.notes || !repositories.notebooks || !repositories.database) {
        ImportResult result;
        result.error = QCoreApplication::translate("ImportDialog", "Failed to read archive or archive is empty");
        return result;
    }
    ImportResult planned;
    BatchWriter::Counts written;
    QString error;
    const bool committed = BulkJob::runHere(repositories, std::nullopt, [&](WritePlan &plan) {
        planned = producer(plan);
        return planned.error.isEmpty();
    }, progress, &written, &error);
    return outcome(planned, written, committed, error);
}

QString noteLinkUrl(const QString &noteId)
{
    return QStringLiteral("velmora-notes://note/") + noteId;
}

QJsonArray retargetLinks(const QJsonArray &delta, const std::function<QString(const QString &href)> &target)
{
    QJsonArray out;
    for (const QJsonValue &value : delta) {
        QJsonObject op = value.toObject();
        QJsonObject attributes = op.value(QStringLiteral("attributes")).toObject();
        const QString href = attributes.value(QStringLiteral("link")).toString();
        if (!href.isEmpty()) {
            const QString to = target(href);
            if (to.isEmpty())
                attributes.remove(QStringLiteral("link"));
            else
                attributes.insert(QStringLiteral("link"), to);
            if (attributes.isEmpty())
                op.remove(QStringLiteral("attributes"));
            else
                op.insert(QStringLiteral("attributes"), attributes);
        }
        out.append(op);
    }
    return out;
}

QString decodeText(const QByteArray &bytes, bool *fellBack)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    *fellBack = utf8.hasError();
    if (!*fellBack)
        return text;
    // Windows-1252 in 0x80-0x9F; Latin-1 elsewhere. 0 marks its five unassigned codes.
    static const char16_t high[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    text = QString::fromLatin1(bytes);
    for (QChar &c : text) {
        if (c.unicode() >= 0x80 && c.unicode() < 0xA0 && high[c.unicode() - 0x80] != 0)
            c = QChar(high[c.unicode() - 0x80]);
    }
    return text;
}

} // namespace ImportSupport
