#pragma once

// Marks that survive the HTML reader as private-use characters at the start
// of a line, for what it drops (check boxes, rules): an importer writes them
// into the HTML and applyLineMarkers turns the lines back into Delta. Not
// part of the io interface.

#include <QJsonArray>
#include <QString>
#include <QStringList>

namespace ImportMarkers {

QString todo(bool checked);
QString divider();

// A line starting with a to-do mark becomes a check list item without it;
// a line holding only the divider mark becomes a divider embed. Marks
// anywhere else are removed.
QJsonArray applyLineMarkers(const QJsonArray &delta);

// Appends an attachment embed line for every URL the body neither shows nor
// links to (an image in a table cell, a resource no text refers to), in order.
QJsonArray appendUnshownAttachments(const QJsonArray &delta, const QStringList &urls);

} // namespace ImportMarkers
