#include "editorhooks.h"

#include "inserttabledialog.h"
#include "linkdialog.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QUrl>

namespace {

// Open and Cancel rather than Yes and No: the answer names what happens.
bool askOpenBox(QWidget *parent, const QString &title, const QString &text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Open | QMessageBox::Cancel, QMessageBox::Cancel)
        == QMessageBox::Open;
}

// The dialogs speak in the editor's translation context.
class EditorDialogs
{
    Q_DECLARE_TR_FUNCTIONS(NoteEditor)

public:
    static EditorHooks make(QWidget *editor);
    static bool openLink(const EditorHooks &hooks, QWidget *parent, const QUrl &url);
    static bool openAttachment(const EditorHooks &hooks, QWidget *parent, const QString &fileName, const QString &type);
};

bool EditorDialogs::openLink(const EditorHooks &hooks, QWidget *parent, const QUrl &url)
{
    return hooks.askYesNo
        && hooks.askYesNo(parent, tr("Open Link"),
                          tr("This link is not a web or mail address and may start another "
                             "program:\n\n%1\n\nOpen it?")
                              .arg(url.toString()));
}

bool EditorDialogs::openAttachment(const EditorHooks &hooks, QWidget *parent, const QString &fileName,
                                   const QString &type)
{
    return hooks.askYesNo
        && hooks.askYesNo(parent, tr("Open Attachment"),
                          tr("\"%1\" is a file of type %2, which may run a program on this "
                             "computer.\n\nOpen it?")
                              .arg(fileName, type));
}

EditorHooks EditorDialogs::make(QWidget *editor)
{
    EditorHooks hooks;
    hooks.askLink = [editor](const QString &title, const EditorLinkInput &initial) -> std::optional<EditorLinkInput> {
        LinkDialog dialog(title, initial.text, initial.url, editor);
        if (dialog.exec() != QDialog::Accepted || dialog.url().isEmpty())
            return std::nullopt;
        return EditorLinkInput{dialog.text(), dialog.url()};
    };
    hooks.askTableSize = [editor]() -> std::optional<std::tuple<int, int, bool>> {
        InsertTableDialog dialog(editor);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return std::make_tuple(dialog.rows(), dialog.columns(), dialog.headerRow());
    };
    hooks.askOpenFile = [editor] {
        return QFileDialog::getOpenFileName(editor, tr("Insert Attachment"), QString(),
                                            tr("All Files (*.*);;Images (*.png *.jpg *.jpeg *.gif *.webp *.bmp *.svg)"));
    };
    hooks.askSaveFile = [editor](const QString &suggestedPath) {
        return QFileDialog::getSaveFileName(editor, tr("Save Attachment"), suggestedPath);
    };
    hooks.askYesNo = askOpenBox;
    hooks.openUrl = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
    hooks.setClipboard = [](QMimeData *data) { QGuiApplication::clipboard()->setMimeData(data); };
    return hooks;
}

} // namespace

EditorHooks defaultEditorHooks(QWidget *editor)
{
    return EditorDialogs::make(editor);
}

bool confirmOpenLink(const EditorHooks &hooks, QWidget *parent, const QUrl &url)
{
    return EditorDialogs::openLink(hooks, parent, url);
}

bool confirmOpenAttachment(const EditorHooks &hooks, QWidget *parent, const QString &fileName, const QString &type)
{
    return EditorDialogs::openAttachment(hooks, parent, fileName, type);
}
