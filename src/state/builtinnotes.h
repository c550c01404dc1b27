#pragma once

// Notes the application writes by itself: the three welcome notes of a first
// run and the developer's seven sample notes.

class NoteRepository;
class PreferencesRepository;

// Once per installation (guarded by the preference "has_seen_welcome"):
// inserts "Trip Packing List", "Getting Started" and "Welcome to Velmora
// Notes", 100 ms apart so the welcome note is the newest. They are samples
// marked synced, so they are never uploaded. Does nothing when either
// repository is null. The preference is set even when an insert fails, so a
// broken database does not bring the notes back on every start.
void createWelcomeNotes(PreferencesRepository *preferences, NoteRepository *notes);

// Inserts the seven sample notes (pending, so they sync like the user's own),
// dated from today back to four weeks ago. Returns how many were inserted; 0
// when the repository is null.
int createSampleNotes(NoteRepository *notes);
