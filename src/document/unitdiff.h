#pragma once

// A shortest edit script between two sequences of integer units (Myers'
// O(ND) algorithm in linear space, with common prefixes and suffixes trimmed
// first). Pure and allocation-light: edits of a few lines in a long note cost
// little more than one comparison pass.

#include <QList>

// For every unit of `from`, the index of the unit of `to` it is kept as, or -1
// when it is deleted. Kept units are in increasing order on both sides; every
// unit of `to` that no entry names is inserted.
QList<int> diffUnits(const QList<int> &from, const QList<int> &to);
