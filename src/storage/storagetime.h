#pragma once

#include <QDateTime>
#include <QString>

// The text form of every time column: UTC, ISO 8601 with milliseconds,
// e.g. "2026-03-04T05:06:07.089Z". An invalid time gives the empty text.
QString storageTimeText(const QDateTime &time);
// Reads that form back as UTC; an empty or malformed text gives an invalid time.
QDateTime storageTimeFromText(const QString &text);
