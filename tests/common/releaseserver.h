#pragma once

// A real velmora-server on loopback whose release folder the test writes.
// Needs VELM_SERVER_PATH (the built server) defined for the test target.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

class ReleaseServer
{
public:
    ~ReleaseServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }

    // Starts on a free port; false (with the server's output in *log) when it does not come up.
    bool start(QString *log)
    {
        QDir().mkpath(releases());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral(VELM_SERVER_PATH),
                        {"--data", m_dir.path() + "/data", "--port", "0", "--releases", releases()});
        const QRegularExpression listening(QStringLiteral("listening on http://127\\.0\\.0\\.1:(\\d+)"));
        QByteArray output;
        const QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            output += m_process.readAll();
            const auto match = listening.match(QString::fromUtf8(output));
            if (match.hasMatch()) {
                m_port = match.captured(1).toInt();
                return true;
            }
        }
        *log = QString::fromUtf8(output + m_process.readAll());
        return false;
    }

    // The folder served under /releases/.
    QString releases() const { return m_dir.path() + "/releases"; }
    // What UPDATE_BASE_URL names.
    QUrl releasesUrl() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/releases").arg(m_port)); }

    // Writes (or with empty content removes) a file below the release folder.
    bool put(const QString &path, const QByteArray &content)
    {
        const QString target = releases() + '/' + path;
        if (content.isEmpty())
            return !QFile::exists(target) || QFile::remove(target);
        QDir().mkpath(QFileInfo(target).path());
        QFile file(target);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
};
