#pragma once

// The database bench_scale measures: n notes in the data folder named by
// NOTES_DATA_DIR, written in bulk as the application's own write path leaves
// them, then checked against that path.

#include "bodybuilder.h"

// Writes the database in one transaction; bodyScale shrinks the bodies
// (1: 0.5-20 KB). False when a write fails or the rows of sampled notes differ
// from what the application's write path makes of the same bodies.
bool generateScaleDatabase(int n, double bodyScale);
