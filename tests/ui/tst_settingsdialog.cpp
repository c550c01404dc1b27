#include "notewindowregistry.h"
#include "velmtest.h"

#include "apiclient.h"
#include "appstatefixture.h"
#include "authclient.h"
#include "account/client.h"
#include "mainwindow.h"
#include "noteeditor.h"
#include "notewindow.h"
#include "notewindows.h"
#include "preferencesrepository.h"
#include "serverfixture.h"
#include "settingsdialog.h"
#include "thememanager.h"
#include "tokenmanager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

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
    void fontSizeOpensWithTheCurrentScale_data()
    {
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("shown");
        QTest::newRow("matching item") << 130 << "Large";
        QTest::newRow("no matching item") << 120 << "Default";
    }
    void fontSizeOpensWithTheCurrentScale()
    {
        QFETCH(int, scale);
        QFETCH(QString, shown);
        auto state = freshState();
        state->themeManager()->setFontScale(scale);
        SettingsDialog dialog(state.get());
        QCOMPARE(comboWith(&dialog, "Extra Large")->currentText(), shown);
    }

    void controlsWriteAtOnce()
    {
        auto state = freshState();
        SettingsDialog dialog(state.get());
        PreferencesRepository *prefs = state->preferences();

        auto *interval = dialog.findChild<QSpinBox *>();
        for (const auto &[typed, stored] : {std::pair{0, 1}, {500, 120}, {17, 17}}) {
            interval->setValue(typed);
            QCOMPARE(prefs->getInt("sync_interval_minutes", -1), stored);
        }
        for (QCheckBox *box : dialog.findChildren<QCheckBox *>()) {
            const bool before = box->isChecked();
            box->setChecked(!before);
            const QString key = box->text() == "Enable Steno mode"           ? "steno_mode"
                : box->text() == "Close to tray"                            ? "close_to_tray"
                : box->text() == "Start minimized to tray"                  ? "start_minimized"
                : box->text() == "Enable automatic sync"                    ? "auto_sync"
                                                                            : "show_offline_notification";
            QCOMPARE(prefs->getBool(key, before), !before);
        }
        // Nothing listens here, yet the choice is kept.
        comboWith(&dialog, "Dark")->setCurrentIndex(2);
        QCOMPARE(prefs->getString("theme_mode", {}), QStringLiteral("dark"));
    }

    void themeAndFontReachAnOpenNoteWindow()
    {
        auto state = freshState();
        installNoteWindowFactory(state.get());
        state->preferences()->set("theme_mode", "light");
        MainWindow main(state.get());
        const Note note = addNote(*state, "hello");
        auto *window = qobject_cast<NoteWindow *>(NoteWindowRegistry::of(state.get())->open(note.id));
        QVERIFY(window);
        SettingsDialog dialog(state.get(), &main);

        comboWith(&dialog, "Dark")->setCurrentIndex(comboWith(&dialog, "Dark")->findText("Dark"));
        QCOMPARE(window->palette().color(QPalette::Window), QColor("#1E1E1E"));
        QCOMPARE(window->editor()->palette().color(QPalette::Text), QColor("#E0E0E0"));

        QCOMPARE(window->editor()->document()->defaultFont().pixelSize(), 16);
        comboWith(&dialog, "Large")->setCurrentIndex(comboWith(&dialog, "Large")->findText("Large"));
        QCOMPARE(ThemeManager::fontScale(), 130);
        QCOMPARE(window->editor()->document()->defaultFont().pixelSize(), 16 * 130 / 100);
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
        QCOMPARE(syncNow->toolTip(), QStringLiteral("Sign in to your Velmora account to sync."));
        QVERIFY(button(&dialog, "Sign In…")->isEnabled());
        QVERIFY(!button(&dialog, "Sign Out")->isEnabled());

        signIn(*state, server, "settings@example.org");
        QVERIFY(state->accountClient()->isAuthenticated());
        QVERIFY(interval->isEnabled());
        QVERIFY(syncNow->isEnabled());
        QCOMPARE(syncNow->toolTip(), QStringLiteral("Push pending changes and pull the latest from the server."));
        QVERIFY(!button(&dialog, "Sign In…")->isEnabled());
        QVERIFY(button(&dialog, "Manage Account…")->isEnabled());

        button(&dialog, "Sign Out")->click();
        QVERIFY(!interval->isEnabled());
        QVERIFY(!button(&dialog, "Manage Account…")->isEnabled());
    }

    void serverAddressChange_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("agree");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("stillSignedIn");
        QTest::newRow("declined") << "https://notes.example.org" << false << "" << true;
        QTest::newRow("agreed, trailing slash dropped") << " https://notes.example.org/ " << true
                                                        << "https://notes.example.org" << false;
        QTest::newRow("not an address") << "ftp://notes.example.org" << true << "" << true;
        QTest::newRow("with a query") << "https://notes.example.org/?a=1" << true << "" << true;
    }
    void serverAddressChange()
    {
        QFETCH(QString, typed);
        QFETCH(bool, agree);
        QFETCH(QString, stored);
        QFETCH(bool, stillSignedIn);
        ServerFixture server;
        QVERIFY(server.start());
        auto state = freshState();
        SettingsDialog dialog(state.get());
        dialog.hooks().confirm = [](const QString &, const QString &) { return true; };
        QVERIFY(dialog.changeServerAddress(server.url()));
        VelmAccount::Client *client = state->accountClient();
        QCOMPARE(client->accountApi()->baseUrl(), QUrl(server.url("/account/v1")));
        signIn(*state, server, "mover@example.org");
        QVERIFY(client->isAuthenticated());

        int asked = 0, warned = 0;
        dialog.hooks().confirm = [&](const QString &, const QString &) { return ++asked, agree; };
        dialog.hooks().warn = [&](const QString &, const QString &) { ++warned; };
        const bool changed = dialog.changeServerAddress(typed);

        QCOMPARE(changed, !stored.isEmpty());
        QCOMPARE(state->preferences()->getString("server_url", {}), stored.isEmpty() ? server.url() : stored);
        QCOMPARE(client->isAuthenticated(), stillSignedIn);
        QCOMPARE(warned + asked, 1);
        if (changed) {
            QCOMPARE(client->config().authBaseUrl, stored);
            QCOMPARE(client->syncApi()->baseUrl(), QUrl(stored + "/notes/v1"));
        }
    }
};

VELM_TEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
