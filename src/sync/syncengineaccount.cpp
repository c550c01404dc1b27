// The account a sync cycle works for, and what happens to notes another
// account left in this database.
#include "syncengine.h"

#include "notebookrepository.h"
#include "noterepository.h"
#include "preferencesrepository.h"
#include "synclog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void SyncEngine::setAccount(const QString &account)
{
    if (account.isEmpty())
        return;
    m_account = account;
    const QString bound = m_preferences->getString(kAccount);
    if (account != bound) {
        // Positions name what one account saw on one server. An older build's
        // name no account: pulling from the start lets the notes this server
        // lists for the account be recognised as its own (claim) rather than
        // asked about.
        qCInfo(lcSync) << "another server or account: pulling from the start";
        m_preferences->remove(PullMerger::kCursor);
        m_preferences->remove(AttachmentSync::kCursor);
        m_pulledForAccount = false;
        m_unbound = !m_binding.bind(bound, account);
        if (m_unbound)
            qCWarning(lcSync) << "notes not bound to the account signed in: nothing is uploaded";
        else
            m_preferences->set(kAccount, account);
    }
    refreshOthers();
}

void SyncEngine::refreshOthers(bool pulled)
{
    const AccountBinding::Others before = m_others;
    const bool asked = asksAccountChoice();
    m_pulledForAccount = m_pulledForAccount || pulled;
    QStringList settled;
    const QJsonObject all = QJsonDocument::fromJson(m_preferences->getString(kSettled).toUtf8()).object();
    for (const QJsonValue &value : all.value(m_account).toArray())
        settled << value.toString();
    m_others = m_binding.others(settled);
    if (before.noteIds == m_others.noteIds && before.notebookIds == m_others.notebookIds
        && asked == asksAccountChoice())
        return;
    if (awaitsAccountChoice())
        qCInfo(lcSync) << "notes of another account or never synced:" << m_others.noteIds.size() << "notes,"
                       << m_others.notebookIds.size() << "notebooks; nothing uploaded until the user chooses";
    emit accountChoiceChanged();
}

void SyncEngine::pulledForAccount()
{
    const bool waited = awaitsAccountChoice();
    refreshOthers(true);
    // The server listed them all as this account's: what waited goes up now.
    if (waited && !awaitsAccountChoice())
        m_resyncRequested = true;
}

bool SyncEngine::keepOtherNotesHere()
{
    if (!awaitsAccountChoice())
        return true;
    if (!m_binding.keepOnThisComputer())
        return false;
    QJsonObject all = QJsonDocument::fromJson(m_preferences->getString(kSettled).toUtf8()).object();
    QJsonArray settled = all.value(m_account).toArray();
    for (const QString &account : std::as_const(m_others.accounts)) {
        if (account != AccountBinding::kBeforeSignIn && !settled.contains(account))
            settled.append(account);
    }
    all.insert(m_account, settled);
    m_preferences->set(kSettled, QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Compact)));
    qCInfo(lcSync) << "notes of other accounts kept on this computer:" << m_others.noteIds.size();
    refreshOthers();
    emit m_notes->notesChanged();
    return true;
}

bool SyncEngine::uploadOtherNotes()
{
    if (!awaitsAccountChoice())
        return true;
    // Open editors store their typing under the ids it was typed under.
    emit aboutToMerge();
    const std::optional<QHash<QString, QString>> moved = m_binding.adopt(m_others);
    if (!moved)
        return false;
    refreshOthers();
    emit notesMoved(*moved);
    emit m_notebooks->notebooksChanged();
    emit m_notes->notesChanged();
    emit attachmentsChanged();
    return true;
}
