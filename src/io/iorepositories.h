#pragma once

class AttachmentRepository;
class Database;
class NoteRepository;
class NotebookRepository;
class SnapshotRepository;

// The stores that backup, restore and import read and write. None is owned.
// notes and notebooks are required; without attachments or snapshots those
// parts are left out. With database set, bulk writes run in one transaction.
struct IoRepositories
{
    Database *database = nullptr;
    NoteRepository *notes = nullptr;
    NotebookRepository *notebooks = nullptr;
    AttachmentRepository *attachments = nullptr;
    SnapshotRepository *snapshots = nullptr;
};
