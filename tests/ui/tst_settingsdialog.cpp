#include "notewindowregistry.h"
#include "velmtest.h"

#include "apiclient.h"
#include "appstatefixture.h"
#include "authclient.h"
#include "client.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notewindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "serverfixture.h"
#include "settingsdialog.h"
#include "statusbar.h"
#include "thememanager.h"
#include "tokenmanager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTextBlock>

using namespace VelmTest;

namespace {

QPushButton *button(QWidget *parent, const QString &text)
{
    for (QPushButton *candidate : parent->findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QComboBox *comboWith(QWidget *parent, const QString &itemText)
{
    for (QComboBox *combo : parent->findChildren<QComboBox *>()) {
        if (combo->findText(itemText) >= 0)
            return combo;
    }
    return nullptr;
}

bool showsText(QWidget *parent, const QString &text)
{
    const QList<QLabel *> labels = parent->findChildren<QLabel *>();
    return std::any_of(labels.cbegin(), labels.cend(), [&](QLabel *label) { return label->text() == text; });
}

// Signs the state's client in as a new user of server.
void signIn(AppState &state, ServerFixture &server, const QString &email)
{
    const auto [access, refresh] = server.signUp(email);
    state.accountClient()->tokenManager()->setTokens(access, refresh);
    state.accountClient()->authClient()->initialize();
}

// The tests share one data folder: start each without what an earlier one left.
std::unique_ptr<AppState> freshState()
{
    auto state = emptyState();
    for (const char *key : {"fontScale", "server_url", "theme_mode"})
        state->preferences()->remove(QString::fromLatin1(key));
    state->themeManager()->setFontScale(100);
    if (state->accountClient()->isAuthenticated())
        state->accountClient()->authClient()->logout();
    return state;
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT
private slots:
    void themeAndFontReachAnOpenNoteWindow()
    {
        auto state = freshState();
        installNoteWindowFactory(state.get());
        state->preferences()->set("theme_mode", "light");
        MainWindow main(state.get());
        Note note = makeNote(R"([{"insert":"Title"},{"insert":"\n","attributes":{"header":1}},{"insert":"hello\n"}])");
        QVERIFY(state->notes()->insert(note));
        auto *window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state.get())->open(note.id));
        QVERIFY(window);
        const auto headingSize = [window] {
            return window->editor()->document()->firstBlock().begin().fragment().charFormat().font().pixelSize();
        };
        const int headingAtDefault = headingSize();
        SettingsDialog dialog(state.get(), &main);

        comboWith(&dialog, "Dark")->setCurrentIndex(comboWith(&dialog, "Dark")->findText("Dark"));
        QTRY_VERIFY(window->palette().color(QPalette::Window).lightness() < 128);
        QVERIFY(window->editor()->palette().color(QPalette::Text).lightness() > 128);
        QCOMPARE(state->preferences()->getString("theme_mode", {}), QStringLiteral("dark"));

        const int bodyAtDefault = window->editor()->document()->defaultFont().pixelSize();
        // The header's meta text and the status bar grow with the notes, in every window.
        const auto barSizes = [&] {
            QList<int> sizes;
            for (QWidget *w : {static_cast<QWidget *>(&main), static_cast<QWidget *>(window)})
                sizes << w->findChild<QLabel *>("metaLabel")->font().pixelSize() << w->findChild<StatusBar *>()->font().pointSize();
            return sizes;
        };
        const QList<int> barsAtDefault = barSizes();
        comboWith(&dialog, "Large")->setCurrentIndex(comboWith(&dialog, "Large")->findText("Large"));
        QCOMPARE(ThemeManager::fontScale(), 130);
        QCOMPARE(window->editor()->document()->defaultFont().pixelSize(), bodyAtDefault * 130 / 100);
        QCOMPARE(headingSize(), headingAtDefault * 130 / 100);
        const QList<int> barsLarge = barSizes();
        for (int i = 0; i < barsLarge.size(); ++i)
            QVERIFY2(barsLarge[i] > barsAtDefault[i],
                     qPrintable(QString("%1: %2 -> %3").arg(i).arg(barsAtDefault[i]).arg(barsLarge[i])));
        window->close();
    }

    void syncAndAccountFollowTheSignInState()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto state = freshState();
        SettingsDialog dialog(state.get());
        QVERIFY(dialog.changeServerAddress(server.url()));

        auto *syncNow = button(&dialog, "Sync now");
        auto *interval = dialog.findChild<QSpinBox *>();
        QVERIFY(!interval->isEnabled());
        QVERIFY(!syncNow->isEnabled());
        QVERIFY(!button(&dialog, "Sign Out")->isEnabled());
        // Without a note, the welcome page is for signed-out use only.
        MainWindow main(state.get());
        QVERIFY(main.isShowingWelcomePage());

        signIn(*state, server, "settings@example.org");
        QVERIFY(state->accountClient()->isAuthenticated());
        QVERIFY(!main.isShowingWelcomePage());
        QVERIFY(interval->isEnabled());
        QVERIFY(syncNow->isEnabled());
        QVERIFY(!button(&dialog, "Sign In…")->isEnabled());
        QTRY_VERIFY(showsText(&dialog, "Signed in as settings@example.org"));

        button(&dialog, "Sign Out")->click();
        QVERIFY(!interval->isEnabled());
        QVERIFY(button(&dialog, "Sign In…")->isEnabled());
        QVERIFY(showsText(&dialog, "Signed out."));
        QVERIFY(main.isShowingWelcomePage());
    }

    void trayOptionsOnlyWhereATrayIs_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }
    void trayOptionsOnlyWhereATrayIs()
    {
        QFETCH(bool, tray);
        auto state = freshState();
        SettingsDialog dialog(state.get());
        dialog.hooks().trayAvailable = [tray] { return tray; };
        dialog.show();
        const QList<QCheckBox *> boxes = dialog.findChildren<QCheckBox *>();
        for (const QString text : {"Close to tray", "Start minimized to tray"}) {
            const auto box = std::find_if(boxes.cbegin(), boxes.cend(), [&](QCheckBox *b) { return b->text() == text; });
            QVERIFY(box != boxes.cend());
            QCOMPARE(!(*box)->isHidden(), tray);
        }
    }

    void updateCheckAsksTheServerSetInPreferences()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto state = freshState();
        SettingsDialog dialog(state.get());
        dialog.hooks().confirm = [](QWidget *, const QString &, const QString &) { return true; };
        // Typed without a scheme: this computer is reached over plain HTTP.
        QVERIFY(dialog.changeServerAddress(server.url().mid(int(strlen("http://")))));
        QCOMPARE(state->accountClient()->config().authBaseUrl, server.url());
        MainWindow window(state.get());
        QAction *check = nullptr;
        for (QAction *menu : window.menuBar()->actions())
            for (QAction *action : menu->menu()->actions())
                if (action->text() == "Check for &Updates...")
                    check = action;
        QVERIFY(check);
        QCoreApplication::setApplicationVersion("1.0.0");
        check->trigger();
        // That server publishes no releases: a 404 is "up to date", no answer would be a failure.
        QTRY_VERIFY_WITH_TIMEOUT(window.statusBar()->currentMessage().contains("is up to date"), 20000);
    }

    void serverAddressChange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("stillSignedIn");
        QTest::addColumn<int>("prompts"); // the unencrypted-address warning, then the sign-out question
        QTest::newRow("declined") << "https://notes.example.org" << false << "" << true << 1;
        QTest::newRow("agreed, trailing slash dropped") << " https://notes.example.org/ " << true
                                                        << "https://notes.example.org" << false << 1;
        QTest::newRow("not an address") << "ftp://notes.example.org" << true << "" << true << 1;
        QTest::newRow("with a query") << "https://notes.example.org/?a=1" << true << "" << true << 1;
        QTest::newRow("plain http elsewhere, declined") << "http://notes.example.org" << false << "" << true << 1;
        QTest::newRow("plain http elsewhere, agreed") << "http://10.0.0.7:8787" << true << "http://10.0.0.7:8787"
                                                      << false << 2;
        QTest::newRow("plain http on this computer") << "http://localhost:9999" << true << "http://localhost:9999"
                                                     << false << 1;
        QTest::newRow("host alone: https") << "notes.example.org" << true << "https://notes.example.org" << false << 1;
    }
    void serverAddressChange()
    {
        QFETCH(QString, typed);
        QFETCH(bool, agree);
        QFETCH(QString, stored);
        QFETCH(bool, stillSignedIn);
        QFETCH(int, prompts);
        ServerFixture server;
        QVERIFY(server.start());
        auto state = freshState();
        SettingsDialog dialog(state.get());
        dialog.hooks().confirm = [](QWidget *, const QString &, const QString &) { return true; };
        QVERIFY(dialog.changeServerAddress(server.url()));
        VelmAccount::Client *client = state->accountClient();
        QCOMPARE(client->accountApi()->baseUrl(), QUrl(server.url("/account/v1")));
        signIn(*state, server, "mover@example.org");
        QVERIFY(client->isAuthenticated());

        int asked = 0, warned = 0;
        dialog.hooks().confirm = [&](QWidget *, const QString &, const QString &) { return ++asked, agree; };
        dialog.hooks().warn = [&](const QString &, const QString &) { ++warned; };
        const bool changed = dialog.changeServerAddress(typed);

        QCOMPARE(changed, !stored.isEmpty());
        QCOMPARE(state->preferences()->getString("server_url", {}), stored.isEmpty() ? server.url() : stored);
        QCOMPARE(client->isAuthenticated(), stillSignedIn);
        QCOMPARE(warned + asked, prompts);
        if (changed) {
            QCOMPARE(client->config().authBaseUrl, stored);
            QCOMPARE(client->syncApi()->baseUrl(), QUrl(stored + "/notes/v1"));
        }
    }
};

VELM_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
