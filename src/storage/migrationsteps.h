#pragma once

// The schema's statements, migration by migration, as the database runs them.

namespace MigrationSteps {

inline constexpr const char *kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version (  version INTEGER NOT NULL DEFAULT 0)";

inline constexpr const char *kNotesTable =
    "CREATE TABLE IF NOT EXISTS notes (  id          TEXT PRIMARY KEY,  notebook_id TEXT NOT NULL DEFAULT '',  body        TEXT NOT NULL DEFAULT '',  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  modified_at TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  op_version  INTEGER NOT NULL DEFAULT 0,  sync_status TEXT NOT NULL DEFAULT 'pending',  is_sample   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  is_shared   INTEGER NOT NULL DEFAULT 0,  permission  TEXT)";
inline constexpr const char *kIdxNotebookId = "CREATE INDEX IF NOT EXISTS idx_notes_notebook_id ON notes(notebook_id)";
inline constexpr const char *kIdxUpdatedAt = "CREATE INDEX IF NOT EXISTS idx_notes_updated_at ON notes(updated_at)";
inline constexpr const char *kIdxModifiedAt = "CREATE INDEX IF NOT EXISTS idx_notes_modified_at ON notes(modified_at)";
inline constexpr const char *kIdxDeletedAt = "CREATE INDEX IF NOT EXISTS idx_notes_deleted_at ON notes(deleted_at)";
inline constexpr const char *kIdxSyncStatus = "CREATE INDEX IF NOT EXISTS idx_notes_sync_status ON notes(sync_status)";
inline constexpr const char *kTriggerAi =
    "CREATE TRIGGER IF NOT EXISTS notes_ai AFTER INSERT ON notes BEGIN  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END";
inline constexpr const char *kTriggerAd =
    "CREATE TRIGGER IF NOT EXISTS notes_ad AFTER DELETE ON notes BEGIN  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);END";
inline constexpr const char *kTriggerAu =
    "CREATE TRIGGER IF NOT EXISTS notes_au AFTER UPDATE ON notes BEGIN  INSERT INTO notes_fts(notes_fts, rowid, body) VALUES ('delete', old.rowid, old.body);  INSERT INTO notes_fts(rowid, body) VALUES (new.rowid, new.body);END";

inline constexpr const char *kMigration1[] = {
    "CREATE TABLE IF NOT EXISTS notebooks (  id          TEXT PRIMARY KEY,  name        TEXT NOT NULL,  is_default  INTEGER NOT NULL DEFAULT 0,  is_shared   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_deleted_at ON notebooks(deleted_at)",
    "CREATE INDEX IF NOT EXISTS idx_notebooks_sync_status ON notebooks(sync_status)",
    kNotesTable,
    kIdxNotebookId,
    kIdxUpdatedAt,
    kIdxModifiedAt,
    kIdxDeletedAt,
    kIdxSyncStatus,
    "CREATE VIRTUAL TABLE IF NOT EXISTS notes_fts USING fts5(  body,  content='notes',  content_rowid='rowid')",
    kTriggerAi,
    kTriggerAd,
    kTriggerAu,
    "CREATE TABLE IF NOT EXISTS note_operations (  id              TEXT PRIMARY KEY,  note_id         TEXT NOT NULL REFERENCES notes(id),  base_version    INTEGER NOT NULL,  result_version  INTEGER NOT NULL,  operation       TEXT NOT NULL,  created_at      TEXT NOT NULL,  synced          INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_version ON note_operations(note_id, result_version)",
    "CREATE INDEX IF NOT EXISTS idx_note_operations_synced ON note_operations(synced)",
    "CREATE TABLE IF NOT EXISTS note_snapshots (  id          TEXT PRIMARY KEY,  note_id     TEXT NOT NULL REFERENCES notes(id),  version     INTEGER NOT NULL,  body        TEXT NOT NULL,  created_at  TEXT NOT NULL,  UNIQUE(note_id, version))",
    "CREATE INDEX IF NOT EXISTS idx_note_snapshots_version ON note_snapshots(note_id, version DESC)",
    "CREATE TABLE IF NOT EXISTS attachments (  id          TEXT PRIMARY KEY,  note_id     TEXT NOT NULL REFERENCES notes(id),  filename    TEXT NOT NULL,  mime_type   TEXT NOT NULL,  size_bytes  INTEGER NOT NULL,  created_at  TEXT NOT NULL,  sync_status TEXT NOT NULL DEFAULT 'pending')",
    "CREATE INDEX IF NOT EXISTS idx_attachments_note_id ON attachments(note_id)",
    "CREATE TABLE IF NOT EXISTS sync_queue (  id          INTEGER PRIMARY KEY AUTOINCREMENT,  entity_type TEXT NOT NULL,  entity_id   TEXT NOT NULL,  action      TEXT NOT NULL,  payload     TEXT,  created_at  TEXT NOT NULL,  attempts    INTEGER NOT NULL DEFAULT 0)",
    "CREATE INDEX IF NOT EXISTS idx_sync_queue_entity ON sync_queue(entity_type, entity_id)",
    "CREATE TABLE IF NOT EXISTS tasks (  id              TEXT PRIMARY KEY,  note_id         TEXT NOT NULL REFERENCES notes(id),  text            TEXT NOT NULL,  is_completed    INTEGER NOT NULL DEFAULT 0,  source          TEXT NOT NULL,  line_index      INTEGER NOT NULL,  char_offset     INTEGER NOT NULL,  due_date        TEXT,  due_date_phrase TEXT,  extracted_at    TEXT NOT NULL,  note_updated_at TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_note_id ON tasks(note_id)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_completed ON tasks(is_completed)",
    "CREATE INDEX IF NOT EXISTS idx_tasks_due_date ON tasks(due_date)",
    "CREATE TABLE IF NOT EXISTS note_task_settings (  note_id          TEXT PRIMARY KEY REFERENCES notes(id),  include_in_todos INTEGER NOT NULL DEFAULT 1)",
    "CREATE TABLE IF NOT EXISTS preferences (  key   TEXT PRIMARY KEY,  value TEXT)",
};

struct Step
{
    const char *label;
    const char *statement;
};

inline constexpr Step kMigration2[] = {
    {"create notes_new",
     "CREATE TABLE notes_new (  id          TEXT PRIMARY KEY,  notebook_id TEXT NOT NULL DEFAULT '',  body        TEXT NOT NULL DEFAULT '',  created_at  TEXT NOT NULL,  updated_at  TEXT NOT NULL,  modified_at TEXT NOT NULL,  deleted_at  TEXT,  version     INTEGER NOT NULL DEFAULT 1,  op_version  INTEGER NOT NULL DEFAULT 0,  sync_status TEXT NOT NULL DEFAULT 'pending',  is_sample   INTEGER NOT NULL DEFAULT 0,  owner_id    TEXT,  is_shared   INTEGER NOT NULL DEFAULT 0,  permission  TEXT)"},
    {"copy notes",
     "INSERT INTO notes_new SELECT id,   CASE WHEN notebook_id IN (SELECT id FROM notebooks WHERE is_default = 1)        THEN '' ELSE notebook_id END,   body, created_at, updated_at, modified_at, deleted_at,   version, op_version, sync_status, is_sample, owner_id, is_shared, permission FROM notes"},
    {"drop trigger ai", "DROP TRIGGER IF EXISTS notes_ai"},
    {"drop trigger ad", "DROP TRIGGER IF EXISTS notes_ad"},
    {"drop trigger au", "DROP TRIGGER IF EXISTS notes_au"},
    {"drop notes", "DROP TABLE notes"},
    {"rename notes_new", "ALTER TABLE notes_new RENAME TO notes"},
    {"idx notebook_id", kIdxNotebookId},
    {"idx updated_at", kIdxUpdatedAt},
    {"idx modified_at", kIdxModifiedAt},
    {"idx deleted_at", kIdxDeletedAt},
    {"idx sync_status", kIdxSyncStatus},
    {"trigger ai", kTriggerAi},
    {"trigger ad", kTriggerAd},
    {"trigger au", kTriggerAu},
    {"fts rebuild", "INSERT INTO notes_fts(notes_fts) VALUES('rebuild')"},
    {"delete default", "DELETE FROM notebooks WHERE is_default = 1"},
};

// Migration 3 ("plain-text search"): the index holds what a reader sees, not
// the markup of the stored format, and no longer follows the table through
// triggers: the repositories write it with each note.
inline constexpr Step kMigration3[] = {
    {"drop trigger ai", "DROP TRIGGER IF EXISTS notes_ai"},
    {"drop trigger ad", "DROP TRIGGER IF EXISTS notes_ad"},
    {"drop trigger au", "DROP TRIGGER IF EXISTS notes_au"},
    {"drop fts", "DROP TABLE IF EXISTS notes_fts"},
    {"create fts", "CREATE VIRTUAL TABLE notes_fts USING fts5(text)"},
    {"add title", "ALTER TABLE notes ADD COLUMN title TEXT NOT NULL DEFAULT ''"},
    {"add preview", "ALTER TABLE notes ADD COLUMN preview TEXT NOT NULL DEFAULT ''"},
};

// Migration 4 ("list index and to-do cache"): the lists read their rows from
// one covering index in date order, never from the table, whose rows hold the
// bodies; each note's to-dos are kept beside it, written with the note. A note
// without a note_todos row has not been read for to-dos yet.
inline constexpr Step kMigration4[] = {
    {"list index", "CREATE INDEX IF NOT EXISTS idx_notes_list ON notes(deleted_at, updated_at, id, notebook_id, "
                   "sync_status, is_shared, title, preview)"},
    {"to-do cache", "CREATE TABLE IF NOT EXISTS note_todos (  note_id TEXT PRIMARY KEY REFERENCES notes(id),  "
                    "tasks   TEXT NOT NULL)"},
};

// Migration 5 ("merge bases"): the body the server last confirmed for each
// note, the common ancestor when an edit here meets one made elsewhere. Kept
// apart from notes so list and editor reads never carry it. A synced note's
// current body is its base.
inline constexpr Step kMigration5[] = {
    {"merge bases", "CREATE TABLE IF NOT EXISTS note_bases (  note_id TEXT PRIMARY KEY REFERENCES notes(id),  "
                    "version INTEGER NOT NULL,  body    TEXT NOT NULL)"},
    {"synced bodies", "INSERT OR REPLACE INTO note_bases (note_id, version, body) "
                      "SELECT id, version, body FROM notes WHERE sync_status = 'synced'"},
};

// Migration 6 ("account binding"): which account each note, notebook and
// unsent purge belongs with. Empty is the account the database is bound to
// now; another account's rows wait here and are never sent to this one.
inline constexpr Step kMigration6[] = {
    {"note account", "ALTER TABLE notes ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
    {"notebook account", "ALTER TABLE notebooks ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
    {"purge account", "ALTER TABLE sync_queue ADD COLUMN account TEXT NOT NULL DEFAULT ''"},
};

// Migration 7 ("kept to-dos and counts"): one row per to-do, written with
// its note's body, so the to-do screen reads a page of an index instead of
// every note; and the per-notebook counts kept by triggers, so the sidebar
// costs the same at any size. text_key is the folded text that sorts and
// filters; note_title, note_updated_at and live copy the note's, so a page
// never reads a note row (which holds the body).
inline constexpr Step kMigration7[] = {
    {"drop to-do cache", "DROP TABLE IF EXISTS note_todos"},
    {"to-do items", "CREATE TABLE IF NOT EXISTS todo_items (  note_id         TEXT NOT NULL REFERENCES notes(id),  "
                    "line_index      INTEGER NOT NULL,  char_offset     INTEGER NOT NULL,  source          INTEGER "
                    "NOT NULL,  is_completed    INTEGER NOT NULL,  text            TEXT NOT NULL,  text_key        "
                    "TEXT NOT NULL,  note_title      TEXT NOT NULL,  note_updated_at TEXT NOT NULL,  live            "
                    "INTEGER NOT NULL,  PRIMARY KEY (note_id, line_index)) WITHOUT ROWID"},
    {"to-dos by date", "CREATE INDEX IF NOT EXISTS idx_todo_items_updated ON todo_items(live, is_completed, "
                       "note_updated_at DESC, note_id DESC, line_index)"},
    {"to-dos by text", "CREATE INDEX IF NOT EXISTS idx_todo_items_text ON todo_items(live, is_completed, text_key, "
                       "note_id, line_index)"},
    {"to-dos follow their note",
     "CREATE TRIGGER IF NOT EXISTS todo_items_note AFTER UPDATE OF deleted_at, updated_at, title ON notes "
     "WHEN (old.deleted_at IS NULL) != (new.deleted_at IS NULL) OR old.updated_at IS NOT new.updated_at "
     "OR old.title IS NOT new.title BEGIN  "
     "UPDATE todo_items SET live = (new.deleted_at IS NULL), note_updated_at = new.updated_at, "
     "note_title = COALESCE(new.title, '') WHERE note_id = new.id;END"},
    {"note counts", "CREATE TABLE IF NOT EXISTS note_counts (  notebook_id TEXT PRIMARY KEY,  live        INTEGER NOT "
                    "NULL DEFAULT 0,  trashed     INTEGER NOT NULL DEFAULT 0)"},
    {"count inserts",
     "CREATE TRIGGER IF NOT EXISTS notes_count_ai AFTER INSERT ON notes BEGIN  "
     "INSERT INTO note_counts (notebook_id, live, trashed) VALUES (new.notebook_id, new.deleted_at IS NULL, "
     "new.deleted_at IS NOT NULL) ON CONFLICT(notebook_id) DO UPDATE SET live = live + excluded.live, "
     "trashed = trashed + excluded.trashed;END"},
    {"count deletes",
     "CREATE TRIGGER IF NOT EXISTS notes_count_ad AFTER DELETE ON notes BEGIN  "
     "UPDATE note_counts SET live = live - (old.deleted_at IS NULL), trashed = trashed - (old.deleted_at IS NOT "
     "NULL) WHERE notebook_id = old.notebook_id;END"},
    {"count moves",
     "CREATE TRIGGER IF NOT EXISTS notes_count_au AFTER UPDATE OF notebook_id, deleted_at ON notes "
     "WHEN old.notebook_id IS NOT new.notebook_id OR (old.deleted_at IS NULL) != (new.deleted_at IS NULL) BEGIN  "
     "UPDATE note_counts SET live = live - (old.deleted_at IS NULL), trashed = trashed - (old.deleted_at IS NOT "
     "NULL) WHERE notebook_id = old.notebook_id;  "
     "INSERT INTO note_counts (notebook_id, live, trashed) VALUES (new.notebook_id, new.deleted_at IS NULL, "
     "new.deleted_at IS NOT NULL) ON CONFLICT(notebook_id) DO UPDATE SET live = live + excluded.live, "
     "trashed = trashed + excluded.trashed;END"},
    {"fill counts", "INSERT OR REPLACE INTO note_counts (notebook_id, live, trashed) SELECT notebook_id, "
                    "SUM(deleted_at IS NULL), SUM(deleted_at IS NOT NULL) FROM notes GROUP BY notebook_id"},
};

// Migration 8 ("texts filled in the background"): the notes whose list
// texts, search row and to-dos are still to be made from their bodies, in
// the order they are filled (seq: the note list's, newest first). The write
// path drops a note it writes; a purged note leaves with its row.
inline constexpr Step kMigration8[] = {
    {"pending texts", "CREATE TABLE IF NOT EXISTS note_texts_pending (  seq        INTEGER PRIMARY KEY,  "
                      "note_rowid INTEGER NOT NULL UNIQUE)"},
    {"purged notes", "CREATE TRIGGER IF NOT EXISTS note_texts_pending_ad AFTER DELETE ON notes BEGIN  "
                     "DELETE FROM note_texts_pending WHERE note_rowid = old.rowid;END"},
};

// Migration 9 ("account index"): the account follows the body in the row, so
// finding the rows of other accounts (at the end of every sync cycle) read
// every body; the index holds the few with an account of their own up front.
inline constexpr Step kMigration9[] = {
    {"account index", "CREATE INDEX IF NOT EXISTS idx_notes_account ON notes(account)"},
};

// Migration 10 ("prepared search texts"): a sync merge writes a note's list
// texts and to-dos and leaves its search row to the fill; the search text it
// already made waits here, so the fill neither reads the body nor parses it
// again. NULL: the fill makes every text from the body.
inline constexpr Step kMigration10[] = {
    {"search texts", "ALTER TABLE note_texts_pending ADD COLUMN search_text TEXT"},
};

// Every note, list order, for the fill to read. The list index covers both
// columns, so no row (and no body) is read.
inline constexpr const char *kAllTextsPending =
    "INSERT OR IGNORE INTO note_texts_pending (note_rowid) SELECT rowid FROM notes "
    "ORDER BY deleted_at IS NOT NULL, updated_at DESC";

} // namespace MigrationSteps
