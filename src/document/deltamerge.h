#pragma once

// Three-way merge of note bodies. Each body is read as a sequence of units:
// one per character (a surrogate pair is one unit), one per embed, with the
// attributes of its insert; a line's attributes ride on its line-end unit.
// The edits base→local and base→remote are combined:
// - edits in different places are both applied, the same edit once;
// - insertions at the same place are both kept, the remote one first, so the
//   device that merges a pulled body always yields what the server saw first
//   followed by its own text;
// - attribute changes on the same units are combined key by key; where both
//   sides set the same key differently the remote value wins;
// - deletions or replacements that overlap differently, or an edit over
//   units whose attributes the other side changed, are a conflict and
//   nothing is merged.
// Pure: no storage, no widgets; safe on any thread.

#include <QString>

struct DeltaMergeResult
{
    bool merged = false; // false: a conflict, body is empty
    QString body;        // compact Delta JSON of the merged note
    int conflictAt = -1; // on a conflict, the first base unit it touches
};

// Bodies that are not JSON arrays merge only in the trivial cases (one side
// unchanged, or both sides equal).
DeltaMergeResult mergeDeltaBodies(const QString &base, const QString &local, const QString &remote);
