#pragma once

#include "manifest.h"

#include <QDialog>

class QTextBrowser;

namespace VelmUpdate {

// Announces a newer version with its release notes and offers the download
// in the browser. A mandatory update has neither "Later" nor "Skip This Version".
class UpdateDialog final : public QDialog
{
    Q_OBJECT
public:
    UpdateDialog(const Artifact &artifact, const QString &currentVersion, const QString &displayName,
                 QWidget *parent = nullptr);

    // The notes view; null when the artifact names no notes.
    QTextBrowser *notesView() const { return m_notes; }

signals:
    // The user wants no more reminders of this version.
    void versionSkipped(const QString &version);

public slots:
    void onDownloadClicked();
    void onNotesReady(const QString &markdown);

private:
    Artifact m_artifact;
    QTextBrowser *m_notes = nullptr;
};

// A read-only Markdown view whose links open in the browser only when safe.
QTextBrowser *createNotesView(QWidget *parent);
void setNotesMarkdown(QTextBrowser *view, const QString &markdown);

} // namespace VelmUpdate
