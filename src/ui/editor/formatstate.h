#pragma once

#include <QString>
#include <Qt>

class QTextCharFormat;
class QTextCursor;

// The formatting at the editor's cursor, as the toolbar mirrors it.
struct FormatState
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool code = false;
    int heading = 0;
    QString listType;
    bool codeBlock = false;
    bool blockquote = false;
    bool inTable = false;
    Qt::Alignment alignment = Qt::AlignLeft;

    bool operator==(const FormatState &) const = default;
};

// The state at cursor; over a selection, that of its first character.
FormatState formatStateAt(const QTextCursor &cursor);

// The character format the state is read from.
QTextCharFormat stateCharFormat(const QTextCursor &cursor);
