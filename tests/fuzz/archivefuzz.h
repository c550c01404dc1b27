#pragma once

// The archive targets: the input becomes a file in a fresh data directory
// whose database then takes the import or restore.

#include "fuzzsupport.h"
#include "iofixture.h"

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

// run gets the archive path and the stores, and returns the rows it says it
// wrote to the tables named; the database must agree.
inline void withArchive(const uint8_t *data, size_t size, const char *fileName, const QList<const char *> &tables,
                        const std::function<int(const QString &, const IoRepositories &)> &run)
{
    static QTemporaryDir root;
    std::unique_ptr<IoFixture> fixture = IoFixture::create(root.path());
    FUZZ_CHECK(fixture, QStringLiteral("no database"));
    const QString dir = QFileInfo(fixture->database->database().databaseName()).path();
    const QString path = IoFiles::write(dir + QLatin1Char('/') + QLatin1String(fileName),
                                        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    FUZZ_CHECK(!path.isEmpty(), QStringLiteral("archive not written"));
    qint64 before = 0;
    for (const char *table : tables)
        before += rowCount(*fixture, table);
    const int claimed = run(path, fixture->repositories());
    qint64 after = 0;
    for (const char *table : tables)
        after += rowCount(*fixture, table);
    FUZZ_CHECK(after - before == claimed,
               QStringLiteral("claimed %1 rows, stored %2").arg(claimed).arg(after - before));
    fixture.reset();
    QDir(dir).removeRecursively();
}

} // namespace VelmFuzz
