#pragma once

#include <QStringList>

// Files written without a sync each (bulk copies) reach the disk together,
// before the rows that name them commit.
class DiskSync final
{
public:
    // One sync of their file system where the system allows it, else one per file.
    static bool files(const QStringList &paths);
};
