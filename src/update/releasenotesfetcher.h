#pragma once

#include "updateconfig.h"

#include <QList>
#include <QObject>
#include <QUrl>

class QNetworkAccessManager;

namespace VelmUpdate {

// Fetches Markdown release notes, the system language's variant first.
// Answers through exactly one of the signals per fetch().
class ReleaseNotesFetcher final : public QObject
{
    Q_OBJECT
public:
    // The notes of the configured version, beside the channel's directory.
    explicit ReleaseNotesFetcher(const UpdateConfig &config, QObject *parent = nullptr);
    // The notes at notesUrl; product names the caller in the user agent.
    ReleaseNotesFetcher(const QUrl &notesUrl, const QString &product, QObject *parent = nullptr);

    void fetch();

    // Defaults to the system locale's name ("de_DE").
    void setLocaleName(const QString &name) { m_localeName = name; }

    static QUrl notesUrl(const UpdateConfig &config);
    // release-notes.md -> release-notes.<lang>.md; invalid for English or when
    // the path is not a Markdown file.
    static QUrl localizedUrl(const QUrl &notesUrl, const QString &localeName);

signals:
    void notesReady(const QString &markdown);
    void notesUnavailable();

private:
    void get(QList<QUrl> remaining);

    QUrl m_notesUrl;
    QString m_product;
    QString m_localeName;
    QNetworkAccessManager *m_network;
};

} // namespace VelmUpdate
