#include "accountclient.h"
#include "accountscreen.h"
#include "authclient.h"
#include "account/client.h"
#include "memorytokenstore.h"
#include "serverfixture.h"
#include "tokenmanager.h"
#include "velmtest.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace VelmAccount;

namespace {

std::unique_ptr<Client> signedIn(ServerFixture &server, const QString &email)
{
    const auto [access, refresh] = server.signUp(email);
    auto client = std::make_unique<Client>(server.config(), std::make_unique<MemoryTokenStore>());
    client->tokenManager()->setTokens(access, refresh);
    client->initialize();
    return client;
}

// Signs in through the browser form; true when the server handed out tokens.
bool formSignIn(ServerFixture &server, const QString &email, const QString &password)
{
    QUrl login(server.url(QStringLiteral("/velmora/account/login")));
    login.setQuery(QStringLiteral("client_id=test&redirect_uri=http%3A%2F%2F127.0.0.1%3A9%2Fcallback"));
    QUrlQuery form(login.query());
    form.addQueryItem(QStringLiteral("email"), email);
    form.addQueryItem(QStringLiteral("password"), password);
    const HttpResult result = httpRequest(login, "POST", form.query(QUrl::FullyEncoded).toLatin1());
    return result.status == 302 && result.location.contains("access_token=");
}

QList<QPushButton *> buttons(const AccountScreen &screen, AccountScreen::Page page, const QString &text)
{
    QList<QPushButton *> found;
    for (QPushButton *button : screen.page(page)->findChildren<QPushButton *>()) {
        if (button->text() == text)
            found << button;
    }
    return found;
}

// A label whose text starts with text.
bool shows(const AccountScreen &screen, AccountScreen::Page page, const QString &text)
{
    for (QLabel *label : screen.page(page)->findChildren<QLabel *>()) {
        if (label->text().startsWith(text))
            return true;
    }
    return false;
}

// Runs action and waits until the page has been rebuilt afterwards.
template<typename Action>
bool rebuiltAfter(AccountScreen &screen, AccountScreen::Page page, Action action)
{
    QSignalSpy spy(&screen, &AccountScreen::pageRebuilt);
    action();
    return QTest::qWaitFor([&] {
        for (const QList<QVariant> &args : spy) {
            if (args.at(0).value<AccountScreen::Page>() == page)
                return true;
        }
        return false;
    }, 20000);
}

void answer(AccountScreen &screen, QStringList texts)
{
    screen.prompts().text = [texts](const QString &, const QString &, const QString &) mutable {
        return texts.isEmpty() ? std::nullopt : std::optional<QString>(texts.takeFirst());
    };
}

} // namespace

class TestAccountScreen : public QObject
{
    Q_OBJECT
private slots:
    void relativeTimes_data()
    {
        QTest::addColumn<qint64>("secondsAgo");
        QTest::addColumn<QString>("text");
        QTest::newRow("half a minute") << qint64(30) << "Active now";
        QTest::newRow("90 s") << qint64(90) << "1m ago";
        QTest::newRow("just under an hour") << qint64(3599) << "59m ago";
        QTest::newRow("two hours") << qint64(7300) << "2h ago";
        QTest::newRow("six days") << qint64(6 * 86400 + 10) << "6d ago";
        QTest::newRow("eight days") << qint64(8 * 86400) << "Mar 12, 2026";
        QTest::newRow("invalid") << qint64(-1) << "Unknown";
    }
    void relativeTimes()
    {
        QFETCH(qint64, secondsAgo);
        QFETCH(QString, text);
        const QDateTime now(QDate(2026, 3, 20), QTime(12, 0), Qt::LocalTime);
        QCOMPARE(accountRelativeTime(secondsAgo < 0 ? QDateTime() : now.addSecs(-secondsAgo), now), text);
    }

    void categoryColoursFollowAThemeChange()
    {
        AccountScreen screen(nullptr);
        // A theme change reaches the windows on screen.
        screen.show();
        QVERIFY(QTest::qWaitForWindowExposed(&screen));
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Highlight, QColor(0x12, 0x34, 0x56));
        const auto *remove = screen.page(AccountScreen::DataPage)->findChild<QPushButton *>();
        const QString lightStyle = remove->styleSheet();
        QApplication::setPalette(dark);
        QTRY_VERIFY(screen.findChild<QListWidget *>()->styleSheet().contains(QStringLiteral("#123456")));
        QVERIFY(remove->styleSheet() != lightStyle);
    }

    void passwordPromptsStopEarly_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("status");
        QTest::newRow("7 characters") << QStringList{"old secret", "1234567", "1234567"} << 2
                                      << "Password must be at least 8 characters.";
        QTest::newRow("mismatch") << QStringList{"old secret", "12345678", "12345679"} << 3
                                  << "Passwords do not match.";
        QTest::newRow("empty current") << QStringList{"", "12345678", "12345678"} << 1 << "";
        QTest::newRow("cancelled") << QStringList{} << 1 << "";
    }
    void passwordPromptsStopEarly()
    {
        QFETCH(QStringList, answers);
        QFETCH(int, asked);
        QFETCH(QString, status);
        AccountScreen screen(nullptr);
        int prompts = 0;
        screen.prompts().password = [&](const QString &, const QString &) -> std::optional<QString> {
            ++prompts;
            return answers.isEmpty() ? std::nullopt : std::optional<QString>(answers.takeFirst());
        };
        screen.changePassword();
        QCOMPARE(prompts, asked);
        QCOMPARE(screen.statusText(), status);
    }

    void statusLineClears()
    {
        AccountScreen screen(nullptr);
        QStringList passwords{"a", "12345678", "x", "a", "1234"};
        screen.prompts().password = [&](const QString &, const QString &) {
            return std::optional<QString>(passwords.takeFirst());
        };
        screen.changePassword(); // mismatch
        QCOMPARE(screen.statusTimer()->interval(), 4000);
        QVERIFY(screen.statusTimer()->isActive());
        screen.changePassword(); // too short, a second error restarts the clock
        QCOMPARE(screen.statusText(), QStringLiteral("Password must be at least 8 characters."));
        QVERIFY(QMetaObject::invokeMethod(screen.statusTimer(), "timeout"));
        QCOMPARE(screen.statusText(), QString());
    }

    void successClearsSooner()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto client = signedIn(server, QStringLiteral("quick@example.org"));
        AccountScreen screen(client.get());
        screen.revokeInvitation(QStringLiteral("none"));
        QCOMPARE(screen.statusText(), QStringLiteral("Invitation revoked."));
        QCOMPARE(screen.statusTimer()->interval(), 3000);
        QVERIFY(QMetaObject::invokeMethod(screen.statusTimer(), "timeout"));
        QCOMPARE(screen.statusText(), QString());
    }

    void deletionNeedsTheExactWord_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("scheduled");
        QTest::newRow("lower case") << "delete" << false;
        QTest::newRow("trailing space") << "DELETE " << false;
        QTest::newRow("exact") << "DELETE" << true;
    }
    void deletionNeedsTheExactWord()
    {
        QFETCH(QString, typed);
        QFETCH(bool, scheduled);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = signedIn(server, QStringLiteral("leaver@example.org"));
        AccountScreen screen(client.get());
        answer(screen, {typed});
        QString told;
        screen.prompts().inform = [&](const QString &title, const QString &) { told = title; };
        screen.deleteAccount();
        if (scheduled)
            QTRY_COMPARE_WITH_TIMEOUT(told, QStringLiteral("Account Scheduled for Deletion"), 20000);
        QCOMPARE(told.isEmpty(), !scheduled);
        // Without a request the account is still there to sign in to.
        if (!scheduled)
            QVERIFY(formSignIn(server, QStringLiteral("leaver@example.org"), QStringLiteral("correct horse battery")));
    }

    void accountManagedEndToEnd()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto owner = signedIn(server, QStringLiteral("owner@example.org"));
        auto member = signedIn(server, QStringLiteral("member@example.org"));
        AccountScreen owners(owner.get());
        AccountScreen members(member.get());
        owners.prompts().confirm = members.prompts().confirm = [](const QString &, const QString &) { return true; };

        // Display name
        QVERIFY(rebuiltAfter(owners, AccountScreen::ProfilePage, [&] { owners.refreshProfile(); }));
        answer(owners, {"  Olive Owner "});
        QVERIFY(rebuiltAfter(owners, AccountScreen::ProfilePage, [&] { owners.editDisplayName(); }));
        QCOMPARE(owners.statusText(), QStringLiteral("Display name updated."));
        QVERIFY(shows(owners, AccountScreen::ProfilePage, "Olive Owner"));

        // Invite by code, join from the second account
        QString invite;
        owners.prompts().inform = [&](const QString &, const QString &text) { invite = text.section('\n', -1); };
        QVERIFY(rebuiltAfter(owners, AccountScreen::GroupPage, [&] { owners.generateInviteCode(); }));
        QCOMPARE(invite.size(), 10);
        answer(members, {" " + invite + " "});
        QVERIFY(rebuiltAfter(members, AccountScreen::GroupPage, [&] { members.joinGroup(); }));
        QCOMPARE(members.statusText(), QStringLiteral("Joined group."));
        QVERIFY(buttons(members, AccountScreen::GroupPage, "Remove").isEmpty());
        QVERIFY(buttons(members, AccountScreen::GroupPage, "Invite by Email").isEmpty());
        QCOMPARE(buttons(members, AccountScreen::GroupPage, "Leave Group").size(), 1);

        QVERIFY(rebuiltAfter(owners, AccountScreen::GroupPage, [&] { owners.refreshGroup(); }));
        QCOMPARE(buttons(owners, AccountScreen::GroupPage, "Remove").size(), 1); // not on the owner's own row
        QCOMPARE(buttons(owners, AccountScreen::GroupPage, "Invite by Email").size(), 1);
        QVERIFY(buttons(owners, AccountScreen::GroupPage, "Leave Group").isEmpty());
        QVERIFY(shows(owners, AccountScreen::GroupPage, "member@example.org"));
        QVERIFY(!buttons(owners, AccountScreen::DataPage, "Delete Account").first()->isEnabled());

        // Password, then a sign-in with the new one
        QStringList passwords{"correct horse battery", "staple battery", "staple battery"};
        members.prompts().password = [&](const QString &, const QString &) {
            return std::optional<QString>(passwords.takeFirst());
        };
        members.changePassword();
        QTRY_COMPARE_WITH_TIMEOUT(members.statusText(), QStringLiteral("Password changed."), 20000);
        QVERIFY(formSignIn(server, "member@example.org", "staple battery"));
        QVERIFY(!formSignIn(server, "member@example.org", "correct horse battery"));

        // The sign-in above is a second session: revoke it
        QVERIFY(rebuiltAfter(members, AccountScreen::SecurityPage, [&] { members.refreshSessions(); }));
        QVERIFY(shows(members, AccountScreen::SecurityPage, "This session"));
        QList<QPushButton *> revoke = buttons(members, AccountScreen::SecurityPage, "Revoke");
        QCOMPARE(revoke.size(), 1);
        QVERIFY(rebuiltAfter(members, AccountScreen::SecurityPage, [&] { revoke.first()->click(); }));
        QCOMPARE(members.statusText(), QStringLiteral("Session revoked."));
        QVERIFY(buttons(members, AccountScreen::SecurityPage, "Revoke").isEmpty());

        // The owner removes the member
        QList<QPushButton *> remove = buttons(owners, AccountScreen::GroupPage, "Remove");
        QVERIFY(rebuiltAfter(owners, AccountScreen::GroupPage, [&] { remove.first()->click(); }));
        QCOMPARE(owners.statusText(), QStringLiteral("member removed."));
        QVERIFY(buttons(owners, AccountScreen::GroupPage, "Remove").isEmpty());
        QVERIFY(rebuiltAfter(members, AccountScreen::GroupPage, [&] { members.refreshGroup(); }));
        QCOMPARE(buttons(members, AccountScreen::GroupPage, "Join with Invite Code").size(), 1);
    }
};

VELM_TEST_MAIN(TestAccountScreen)
#include "tst_accountscreen.moc"
