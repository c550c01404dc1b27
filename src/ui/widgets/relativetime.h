#pragma once

#include <QDateTime>
#include <QString>

// Short human text for how long ago a note changed, as the note list and the
// header bar show it: "just now", "5m ago", "3h ago", "Yesterday", a weekday
// within the last week, else "MMM d" (this year) or "MMM d, yyyy".
// Times in the future show the date. An invalid time gives an empty text.
// now is a seam for tests; both times may be in any time zone.
QString relativeTimeText(const QDateTime &time, const QDateTime &now = QDateTime::currentDateTime());

// "Updated %1", with " · %2 words" once the note has words.
QString noteMetaText(const QDateTime &updatedAt, int words, const QDateTime &now = QDateTime::currentDateTime());
