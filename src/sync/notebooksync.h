#pragma once

#include "notebook.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QList>
#include <QSet>
#include <QString>

class AccountBinding;
class Database;
class NotebookRepository;
class NoteRepository;
class SyncCycle;
namespace VelmAccount {
class ApiClient;
}

// The notebook phases of a sync cycle: pending notebooks pushed one at a
// time, then the server's complete list merged in one transaction. Each phase
// ends with SyncCycle::phaseDone; a notebook the server refuses stays pending,
// a list the server cannot give fails the cycle.
class NotebookSync
{
    Q_DECLARE_TR_FUNCTIONS(NotebookSync)
public:
    // None of the pointers is owned; all must outlive this.
    NotebookSync(VelmAccount::ApiClient *api, Database *database, NoteRepository *notes, NotebookRepository *notebooks,
                 AccountBinding *binding, SyncCycle *cycle);

    void push();
    void pull();
    // Forgets the phase running (a cancel).
    void clear() { m_pending.clear(); }

private:
    void pushNext();
    void markSynced(const Notebook &sent, int version);
    void createOnServer(const Notebook &notebook);
    void merge(const QJsonArray &list);
    int removeGoneFromServer(const QSet<QString> &listed);

    VelmAccount::ApiClient *m_api;
    Database *m_database;
    NoteRepository *m_notes;
    NotebookRepository *m_notebooks;
    AccountBinding *m_binding;
    SyncCycle *m_cycle;
    QList<Notebook> m_pending;
};
