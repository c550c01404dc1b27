#include "sharecommands.h"

#include "appstate.h"
#include "delta.h"
#include "notebookrepository.h"
#include "noterepository.h"
#include "notesharingservice.h"
#include "sharemembersdialog.h"
#include "syncengine.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPointer>

using VelmAccount::ShareMembersDialog;

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(ShareCommands)
};

void open(AppState *state, VelmAccount::SharingBackend *backend, const QString &id, const QStringList &texts,
          QWidget *parent)
{
    auto *dialog = new ShareMembersDialog(
        backend, id, texts, [state](auto callback) { state->loadShareGroup(callback); }, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Shares change what the other members pull; a sync makes it visible soon.
    QObject::connect(dialog, &ShareMembersDialog::sharingChanged, state, [state] {
        if (state->syncEngine())
            state->syncEngine()->scheduleSync();
    });
    // Closing it puts the keyboard back where the share was asked for.
    const QPointer<QWidget> before = QApplication::focusWidget();
    QObject::connect(dialog, &QDialog::finished, dialog, [before] {
        if (before)
            before->setFocus(Qt::OtherFocusReason);
    });
    dialog->show();
}

QStringList texts(const QString &title, const QString &subject, const QString &description, const QString &removeText,
                  const QString &question)
{
    QStringList t(ShareMembersDialog::TextCount);
    t[ShareMembersDialog::Title] = title;
    t[ShareMembersDialog::Subtitle] = Texts::tr("Sharing: %1").arg(subject);
    t[ShareMembersDialog::Description] = description;
    t[ShareMembersDialog::AccessHeading] = Texts::tr("Shared with");
    t[ShareMembersDialog::EmptyAccess] = Texts::tr("Not shared with anyone yet.");
    t[ShareMembersDialog::ShareButton] = Texts::tr("Share");
    t[ShareMembersDialog::RemoveButton] = removeText;
    t[ShareMembersDialog::CloseButton] = Texts::tr("Close");
    t[ShareMembersDialog::Permission] = QStringLiteral("edit");
    t[ShareMembersDialog::ShareFailedTitle] = Texts::tr("Share Failed");
    t[ShareMembersDialog::RemoveFailedTitle] = Texts::tr("Remove Failed");
    t[ShareMembersDialog::RemoveQuestionTitle] = Texts::tr("Remove Share");
    t[ShareMembersDialog::RemoveQuestion] = question;
    return t;
}

} // namespace

void openNoteShareDialog(AppState *state, const QString &noteId, const QString &removeText, QWidget *parent)
{
    const std::optional<Note> note = state->notes()->noteById(noteId);
    if (!note || !state->noteSharing())
        return;
    const QString title = noteTitle(note->body);
    open(state, state->noteSharing(), noteId,
         texts(Texts::tr("Share Note"), title.isEmpty() ? Texts::tr("Untitled") : title,
               Texts::tr("Share this note with members of your Velmora family group. They'll see the latest version "
                  "synced to their devices."),
               removeText, Texts::tr("Remove %1's access to this note?")),
         parent);
}

void openNotebookShareDialog(AppState *state, const QString &notebookId, QWidget *parent)
{
    const std::optional<Notebook> notebook = state->notebooks()->notebookById(notebookId);
    if (!notebook || !state->notebookSharing())
        return;
    open(state, state->notebookSharing(), notebookId,
         texts(Texts::tr("Share Notebook"), notebook->name,
               Texts::tr("Share this notebook with members of your Velmora family group. They'll see every note inside "
                  "it on their devices."),
               Texts::tr("Remove access"), Texts::tr("Remove %1's access to this notebook?")),
         parent);
}
