#pragma once

#include <QString>

// Qt's HTML reader loses the rest of a note on markup a browser shrugs off:
// an unclosed comment or <title> hides everything after it, text straight
// inside a <table> or <tr> vanishes, and a <td> or <tr> outside any table
// drops the text after it. repairHtml mends these before the reader sees the
// text: comments are removed (an unclosed one only loses its "<!--"), a
// closed <title> goes with its text and an unclosed one leaves only its
// text, <head> tags are dropped, table parts outside a table are dropped,
// and text that a table holds outside any cell gets a cell of its own.
// Linear in the text.
QString repairHtml(const QString &html);
