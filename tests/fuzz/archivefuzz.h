#pragma once

// The archive targets: the input becomes a file in the data directory whose
// database then takes the import or restore. One database serves every input
// (opening and migrating a new one per input cost more than the import); each
// input starts from the rows the migration left, kept aside once.

#include "fuzzsupport.h"
#include "iofixture.h"
#include "pristine.h"

#include <QDir>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <functional>

namespace VelmFuzz {

inline qint64 rowCount(const IoFixture &fixture, const char *table)
{
    QSqlQuery q(fixture.database->database());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(QLatin1String(table))) && q.next()
               ? q.value(0).toLongLong()
               : -1;
}

class ArchiveStore
{
public:
    ArchiveStore()
        : m_fixture(IoFixture::create(m_root.path()))
    {
        FUZZ_CHECK(m_fixture, QStringLiteral("no database"));
        m_dir = QFileInfo(m_fixture->database->database().databaseName()).path();
        m_pristine = std::make_unique<Pristine>(m_fixture->database->database());
    }

    IoFixture &fixture() { return *m_fixture; }
    QString dir() const { return m_dir; }

    // Back to the migrated rows, with fresh repositories and no files but the database's.
    void reset()
    {
        m_pristine->restore();
        const QString dbName = QFileInfo(m_fixture->database->database().databaseName()).fileName();
        const QDir dir(m_dir);
        for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
            if (entry.fileName().startsWith(dbName))
                continue;
            if (entry.isDir())
                QDir(entry.filePath()).removeRecursively();
            else
                QFile::remove(entry.filePath());
        }
        Database *database = m_fixture->database.get();
        m_fixture->notes = std::make_unique<NoteRepository>(database);
        m_fixture->notebooks = std::make_unique<NotebookRepository>(database);
        m_fixture->attachments = std::make_unique<AttachmentRepository>(database);
        m_fixture->snapshots = std::make_unique<SnapshotRepository>(database);
    }

private:
    QTemporaryDir m_root;
    std::unique_ptr<IoFixture> m_fixture;
    std::unique_ptr<Pristine> m_pristine;
    QString m_dir;
};

// run gets the archive path and the stores, and returns the rows it says it
// wrote to the tables named; the database must agree.
inline void withArchive(const uint8_t *data, size_t size, const char *fileName, const QList<const char *> &tables,
                        const std::function<int(const QString &, const IoRepositories &)> &run)
{
    static ArchiveStore store;
    store.reset();
    IoFixture &fixture = store.fixture();
    const QString path = IoFiles::write(store.dir() + QLatin1Char('/') + QLatin1String(fileName),
                                        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    FUZZ_CHECK(!path.isEmpty(), QStringLiteral("archive not written"));
    qint64 before = 0;
    for (const char *table : tables)
        before += rowCount(fixture, table);
    const int claimed = run(path, fixture.repositories());
    qint64 after = 0;
    for (const char *table : tables)
        after += rowCount(fixture, table);
    FUZZ_CHECK(after - before == claimed,
               QStringLiteral("claimed %1 rows, stored %2").arg(claimed).arg(after - before));
}

} // namespace VelmFuzz
