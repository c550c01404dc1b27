#include "velmtest.h"

#include "releaseserver.h"

#include "updateclient.h"
#include "releasenotesfetcher.h"
#include "updatecommands.h"
#include "updatedialog.h"
#include "whatsnewdialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPushButton>
#include <QTcpServer>
#include <QTextBlock>
#include <QTextBrowser>
#include <QElapsedTimer>

using namespace VelmUpdate;

// Stands in for the browser: QDesktopServices hands it every http(s) URL.
class BrowserProbe : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

namespace {

QByteArray manifest(const QString &version, const QString &url, const QString &notesUrl, bool mandatory,
                    int schema = 1)
{
    const QJsonObject artifact{{"version", version},           {"released_at", "2026-11-30T09:00:00Z"},
                               {"url", url},                   {"size", 52428800},
                               {"sha256", QString(64, 'c')},   {"mandatory", mandatory},
                               {"release_notes_url", notesUrl}};
    const QJsonObject root{{"schema", schema},
                           {"app", "notes"},
                           {"channel", "stable"},
                           {"artifacts", QJsonObject{{currentPlatformKey(), artifact}}}};
    return QJsonDocument(root).toJson();
}

QPushButton *button(QWidget *dialog, const QString &text)
{
    for (QPushButton *b : dialog->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestUpdateDialogs : public QObject
{
    Q_OBJECT

private:
    ReleaseServer m_server;
    BrowserProbe m_browser;

    UpdateConfig config(const QString &channelDir = "notes/stable/") const
    {
        return {"notes", "stable", QUrl(m_server.releasesUrl().toString() + '/' + channelDir), "1.0.4"};
    }
    QString notesUrl(const QString &version) const
    {
        return m_server.releasesUrl().toString() + "/notes/" + version + "/release-notes.md";
    }

private slots:
    void initTestCase()
    {
        QString log;
        QVERIFY2(m_server.start(&log), qPrintable(log));
        QDesktopServices::setUrlHandler("https", &m_browser, "open");
        QDesktopServices::setUrlHandler("http", &m_browser, "open");
        QDesktopServices::setUrlHandler("file", &m_browser, "open");
        QVERIFY(m_server.put("notes/2.0.0/release-notes.md", "# 2.0.0\n\nFaster search."));
    }

    void cleanupTestCase()
    {
        for (const char *scheme : {"https", "http", "file"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void cleanup()
    {
        m_browser.opened.clear();
        QVERIFY(m_server.put("notes/stable/latest.json", {}));
    }

    void interactiveCheckReportsOrOffers_data()
    {
        QTest::addColumn<QByteArray>("latest"); // empty: no manifest published
        QTest::addColumn<QString>("channelDir");
        QTest::addColumn<QString>("status"); // the last report; empty when the dialog opens
        QTest::addColumn<bool>("mandatory");
        QTest::addColumn<QString>("opened"); // by Download

        const QString download = "https://downloads.example/velmora-notes_2.0.0_amd64.deb";
        const QString upToDate = "Velmora Notes is up to date (version 1.0.4)";
        QTest::newRow("no manifest is up to date") << QByteArray() << "notes/stable/" << upToDate << false << "";
        QTest::newRow("newer build opens the dialog, base without slash")
            << manifest("2.0.0", download, notesUrl("2.0.0"), false) << "notes/stable" << "" << false << download;
        QTest::newRow("mandatory build cannot be put off")
            << manifest("2.0.0", download, notesUrl("2.0.0"), true) << "notes/stable/" << "" << true << download;
        QTest::newRow("download outside https opens nothing")
            << manifest("2.0.0", "http://downloads.example/a.deb", notesUrl("2.0.0"), false) << "notes/stable/" << ""
            << false << "";
        QTest::newRow("same version is up to date")
            << manifest("1.0.4", download, notesUrl("1.0.4"), false) << "notes/stable/" << upToDate << false << "";
        QTest::newRow("invalid manifest is reported")
            << manifest("2.0.0", download, notesUrl("2.0.0"), false, 2) << "notes/stable/"
            << "Update check failed: manifest invalid: unsupported manifest schema: 2 (expected 1)" << false << "";
    }

    void interactiveCheckReportsOrOffers()
    {
        QFETCH(QByteArray, latest);
        QFETCH(QString, channelDir);
        QFETCH(QString, status);
        QFETCH(bool, mandatory);
        QFETCH(QString, opened);
        QVERIFY(m_server.put("notes/stable/latest.json", latest));

        QWidget window;
        QStringList reports;
        checkForUpdates(config(channelDir), "Velmora Notes", &window, [&](const QString &text) { reports << text; });
        if (!status.isEmpty()) {
            QTRY_COMPARE(reports.size(), 2);
            QCOMPARE(reports.at(1), status);
            QVERIFY(!window.findChild<UpdateDialog *>());
            return;
        }

        QTRY_VERIFY(window.findChild<UpdateDialog *>());
        auto *dialog = window.findChild<UpdateDialog *>();
        QTRY_VERIFY(dialog->notesView()->toPlainText().contains("Faster search."));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(button(dialog, "Later") == nullptr, mandatory);
        if (opened.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refusing to open a download URL"));
        QTest::mouseClick(button(dialog, "Download"), Qt::LeftButton);
        QCOMPARE(m_browser.opened, opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(opened)});
        if (!opened.isEmpty())
            QTRY_VERIFY(!window.findChild<UpdateDialog *>()); // closed and deleted
    }

    void unreachableServerFailsTheCheck()
    {
        // A port that was free a moment ago: nothing listens on it.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        UpdateClient client({"notes", "stable", QUrl(QString("http://127.0.0.1:%1/releases/notes/stable/").arg(port)),
                       "1.0.4"});
        QSignalSpy failed(&client, &UpdateClient::checkFailed);
        client.check();
        QTest::ignoreMessage(QtDebugMsg, "check already in flight, ignoring");
        client.check();
        QVERIFY(failed.wait());
        QVERIFY2(failed.at(0).at(0).toString().startsWith("network error: "), qPrintable(failed.at(0).at(0).toString()));
    }

    void notesPreferTheSystemLanguage_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QByteArray>("german");
        QTest::addColumn<QString>("shown");
        QTest::newRow("german notes for a german system") << "de_DE" << QByteArray("Schneller suchen.") << "Schneller";
        QTest::newRow("english without german notes") << "de_DE" << QByteArray() << "Faster";
        QTest::newRow("english system ignores german notes") << "en_GB" << QByteArray("Schneller suchen.") << "Faster";
    }

    void notesPreferTheSystemLanguage()
    {
        QFETCH(QString, locale);
        QFETCH(QByteArray, german);
        QFETCH(QString, shown);
        QVERIFY(m_server.put("notes/2.0.0/release-notes.de.md", german));
        ReleaseNotesFetcher fetcher(QUrl(notesUrl("2.0.0")), "update-dialog");
        fetcher.setLocaleName(locale);
        QSignalSpy ready(&fetcher, &ReleaseNotesFetcher::notesReady);
        fetcher.fetch();
        QVERIFY(ready.wait());
        QVERIFY(ready.at(0).at(0).toString().contains(shown));
    }

    void whatsNewShowsTheRunningVersionsNotes()
    {
        QWidget window;
        QStringList reports;
        const auto report = [&](const QString &text) { reports << text; };
        showWhatsNew(config(), "Velmora Notes", &window, report);
        QTRY_COMPARE(reports.size(), 2);
        QCOMPARE(reports.at(1), QString("No release notes available for Velmora Notes 1.0.4"));
        QVERIFY(!window.findChild<WhatsNewDialog *>());

        QVERIFY(m_server.put("notes/1.0.4/release-notes.md", "Tables can be sorted."));
        showWhatsNew(config(), "Velmora Notes", &window, report);
        QTRY_VERIFY(window.findChild<WhatsNewDialog *>());
        auto *dialog = window.findChild<WhatsNewDialog *>();
        QVERIFY(dialog->findChild<QTextBrowser *>()->toPlainText().contains("Tables can be sorted."));
        QVERIFY(!button(dialog, "Download 2.0.0"));
    }

    void longNotesAreShownAsPlainTextInBoundedLines_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<bool>("plain");
        QTest::newRow("release notes") << QString("## Fixed\n\n- **Tables** sort.\n") << false;
        QTest::newRow("256 KB, one line") << QString("**bold** ").repeated(29000) << true;
        QTest::newRow("256 KB, short lines") << QString("- **item**\n").repeated(23000) << true;
    }

    void longNotesAreShownAsPlainTextInBoundedLines()
    {
        QFETCH(QString, markdown);
        QFETCH(bool, plain);
        QTextBrowser *view = createNotesView(nullptr);
        const std::unique_ptr<QTextBrowser> owner(view);
        view->resize(480, 300);
        view->show();
        QElapsedTimer timer;
        timer.start();
        setNotesMarkdown(view, markdown);
        view->repaint();
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(view->toPlainText().contains("**"), plain);
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
            QVERIFY(block.length() <= 501);
    }

    void feedbackOpensTheProductsPage()
    {
        QWidget window;
        QMenu help;
        addHelpActions(&help, [this] { return config(); }, QUrl("https://velmora.app/feedback"), "Velmora Notes", &window, {});
        help.actions().at(2)->trigger();
        QCOMPARE(m_browser.opened, QList<QUrl>{QUrl("https://velmora.app/feedback/?tags=notes")});
    }

    void whatsNewCanOfferTheDownload()
    {
        Artifact offer;
        offer.version = "2.0.0";
        offer.url = QUrl("https://downloads.example/a.deb");
        WhatsNewDialog dialog("Velmora Notes", "1.0.4", "notes", offer);
        dialog.show();
        QTest::mouseClick(button(&dialog, "Download 2.0.0"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_browser.opened, QList<QUrl>{offer.url});
    }
};

VELM_TEST_MAIN(TestUpdateDialogs)
#include "tst_updatedialogs.moc"
