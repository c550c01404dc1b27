#pragma once

// The building blocks of the account screen's pages: texts, rows of a person
// or device with their buttons, sections, and relative times.

#include <QDateTime>
#include <QList>
#include <QString>

class QLabel;
class QLayout;
class QVBoxLayout;
class QWidget;

namespace VelmAccount {

// "Active now", "5m ago", "3h ago", "2d ago", else the local date; "Unknown"
// for an invalid time.
QString accountRelativeTime(const QDateTime &time, const QDateTime &now = QDateTime::currentDateTimeUtc());

// A session's browser and system in words ("Firefox on Linux") from its user
// agent; the agent itself, shortened, when neither is recognised.
QString sessionInWords(const QString &userAgent);
// "linux" as "Linux", "macos" as "macOS", "windows" as "Windows".
QString platformInWords(const QString &platform);

namespace AccountParts {

// Plain, word-wrapped text, pointDelta points larger and of the given weight.
QLabel *label(const QString &text, int pointDelta = 0, int weight = -1);
// One line that keeps its width, for short tags beside a row's buttons.
QLabel *badge(const QString &text, int pointDelta = 0);
// The same in the placeholder colour, which follows the theme.
QLabel *muted(const QString &text, int pointDelta = 0);
// A row of text lines on the left and its buttons on the right; returns the lines.
QVBoxLayout *addRow(QVBoxLayout *page, const QList<QWidget *> &trailing);
// Removes and deletes everything in layout, nested layouts included.
void clearLayout(QLayout *layout);
// A section heading with its description, if any; returns the description.
QLabel *addSection(QVBoxLayout *layout, const QString &title, const QString &description = QString());

// Theme colours beyond the palette's roles.
enum class Tint { Error, Success, Accent, Destructive };
// Colours widget's text (a push button: the whole button) with the theme's
// colours for tint, and remembers the tint for retint.
void tint(QWidget *widget, Tint tint);
// Applies every remembered tint at or below root again, after a theme change.
void retint(QWidget *root);

} // namespace AccountParts
} // namespace VelmAccount
