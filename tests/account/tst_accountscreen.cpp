#include "accountpageparts.h"
#include "accountscreen.h"
#include "serverfixture.h"
#include "velmtest.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace VelmAccount;

namespace {

QList<QPushButton *> buttons(const AccountScreen &screen, AccountScreen::Page page, const QString &text)
{
    QList<QPushButton *> found;
    for (QPushButton *button : screen.page(page)->findChildren<QPushButton *>()) {
        if (button->text() == text)
            found << button;
    }
    return found;
}

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
        return std::any_of(spy.cbegin(), spy.cend(), [page](const QList<QVariant> &args) {
            return args.at(0).value<AccountScreen::Page>() == page;
        });
    }, 20000);
}

void answer(AccountScreen &screen, QStringList texts)
{
    screen.prompts().text = [texts](const QString &, const QString &, const QString &) mutable {
        return texts.isEmpty() ? std::nullopt : std::optional<QString>(texts.takeFirst());
    };
}

void answerPasswords(AccountScreen &screen, QStringList passwords, int *asked = nullptr)
{
    screen.prompts().password = [passwords, asked](const QString &, const QString &) mutable {
        if (asked)
            ++*asked;
        return passwords.isEmpty() ? std::nullopt : std::optional<QString>(passwords.takeFirst());
    };
}

} // namespace

class TestAccountScreen : public QObject
{
    Q_OBJECT
private slots:
    void sessionsAreNamedInWords_data()
    {
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("words");
        QTest::newRow("chrome") << "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                   "Chrome/120.0.0.0 Safari/537.36" << "Chrome on Linux";
        QTest::newRow("edge") << "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                 "Chrome/120.0 Safari/537.36 Edg/120.0" << "Edge on Windows";
        QTest::newRow("firefox") << "Mozilla/5.0 (Macintosh; Intel Mac OS X 14.1; rv:121.0) Gecko/20100101 "
                                    "Firefox/121.0" << "Firefox on macOS";
        QTest::newRow("android") << "Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 Chrome/120.0 Mobile "
                                    "Safari/537.36" << "Chrome on Android";
        QTest::newRow("tool") << "curl/8.5.0" << "curl";
        QTest::newRow("none") << "" << "Unknown client";
    }
    void sessionsAreNamedInWords()
    {
        QFETCH(QString, agent);
        QFETCH(QString, words);
        QCOMPARE(sessionInWords(agent), words);
    }

    // A badge beside a row's button in a narrow window stays one line.
    void badgesKeepOneLine()
    {
        QWidget page;
        auto *layout = new QVBoxLayout(&page);
        QLabel *tag = AccountParts::badge(QStringLiteral("This device"), -1);
        QVBoxLayout *lines = AccountParts::addRow(layout, {tag, new QPushButton(QStringLiteral("Rename…"))});
        lines->addWidget(AccountParts::label(QStringLiteral("A machine with a rather long name indeed")));
        page.resize(260, 200);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY2(tag->height() < 2 * tag->fontMetrics().lineSpacing(), qPrintable(QString::number(tag->height())));
        QVERIFY(tag->width() >= tag->fontMetrics().horizontalAdvance(tag->text()));
    }

    void relativeTimes_data()
    {
        QTest::addColumn<qint64>("secondsAgo");
        QTest::addColumn<QString>("text");
        QTest::newRow("half a minute") << qint64(30) << "Active now";
        QTest::newRow("just under an hour") << qint64(3599) << "59m ago";
        QTest::newRow("two hours") << qint64(7300) << "2h ago";
        QTest::newRow("six days") << qint64(6 * 86400 + 10) << "6d ago";
        QTest::newRow("eight days") << qint64(8 * 86400) << "Mar 12, 2026";
        QTest::newRow("invalid") << qint64(-1) << "Unknown";
    }
    void relativeTimes()
    {
        QFETCH(qint64, secondsAgo);
        const QDateTime now(QDate(2026, 3, 20), QTime(12, 0), Qt::LocalTime);
        QTEST(accountRelativeTime(secondsAgo < 0 ? QDateTime() : now.addSecs(-secondsAgo), now), "text");
    }

    void passwordPromptsStopEarly_data()
    {
        QTest::addColumn<QStringList>("answers");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QString>("status");
        QTest::newRow("7 characters") << QStringList{"old secret", "1234567", "1234567"} << 2
                                      << "Password must be at least 8 characters.";
        QTest::newRow("mismatch") << QStringList{"old secret", "12345678", "12345679"} << 3 << "Passwords do not match.";
        QTest::newRow("empty current") << QStringList{"", "12345678", "12345678"} << 1 << "";
        QTest::newRow("cancelled") << QStringList{} << 1 << "";
    }
    void passwordPromptsStopEarly()
    {
        QFETCH(QStringList, answers);
        AccountScreen screen(nullptr);
        int asked = 0;
        answerPasswords(screen, answers, &asked);
        screen.changePassword();
        QTEST(asked, "asked");
        QTEST(screen.statusText(), "status");
    }

    void deletionNeedsTheExactWord_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("lower case") << "delete";
        QTest::newRow("trailing space") << "DELETE ";
        QTest::newRow("exact") << "DELETE";
    }
    void deletionNeedsTheExactWord()
    {
        QFETCH(QString, typed);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("leaver@example.org"));
        AccountScreen screen(client.get());
        answer(screen, {typed});
        QString told;
        screen.prompts().inform = [&](const QString &title, const QString &) { told = title; };
        screen.deleteAccount();
        const bool scheduled = typed == QLatin1String("DELETE");
        if (scheduled)
            QTRY_COMPARE_WITH_TIMEOUT(told, QStringLiteral("Account Deleted"), 20000);
        QCOMPARE(told.isEmpty(), !scheduled);
        QCOMPARE(client->isAuthenticated(), !scheduled);
        int status = 0;
        server.signIn(QStringLiteral("leaver@example.org"), false, &status);
        QCOMPARE(status == 302, !scheduled);
    }

    // Each action shows what the server answered; these all fail there.
    void actionsShowTheServersOutcome_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("status");
        QTest::newRow("display name too long") << "name" << "Failed to update profile: display_name must be 1 to 100 characters.";
        QTest::newRow("device gone") << "device" << "Failed to remove the device: not found.";
        QTest::newRow("session gone") << "session" << "Failed to revoke the session: not found.";
        QTest::newRow("invitation of no group") << "invitation" << "Failed to revoke the invitation: not found.";
        QTest::newRow("member of no group") << "member" << "Failed to remove Ann: not found.";
        QTest::newRow("leaving no group") << "leave" << "Failed to leave the group: not in a group.";
        QTest::newRow("wrong current password") << "password" << "Failed to change password: the current password is wrong.";
    }
    void actionsShowTheServersOutcome()
    {
        QFETCH(QString, action);
        ServerFixture server;
        QVERIFY(server.start());
        auto client = server.signedIn(QStringLiteral("shown@example.org"));
        AccountScreen screen(client.get());
        screen.prompts().confirm = [](const QString &, const QString &) { return true; };
        QVERIFY(rebuiltAfter(screen, AccountScreen::ProfilePage, [&] { screen.refreshProfile(); }));
        if (action == "name") {
            answer(screen, {QString(101, 'n')});
            screen.editDisplayName();
        } else if (action == "device") {
            Device device;
            device.id = QStringLiteral("no-such-device");
            screen.removeDevice(device);
        } else if (action == "session") {
            screen.revokeSession(QStringLiteral("no-such-session"));
        } else if (action == "invitation") {
            screen.revokeInvitation(QStringLiteral("no-such-invitation"));
        } else if (action == "member") {
            GroupMember member;
            member.accountId = QStringLiteral("no-such-account");
            member.displayName = QStringLiteral("Ann");
            screen.removeMember(member);
        } else if (action == "leave") {
            screen.leaveGroup();
        } else {
            answerPasswords(screen, {"not my password", "staple battery", "staple battery"});
            screen.changePassword();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!screen.statusText().isEmpty(), 20000);
        QTEST(screen.statusText(), "status");
        QVERIFY(!shows(screen, AccountScreen::ProfilePage, QString(101, 'n')));
    }

    void accountManagedEndToEnd()
    {
        ServerFixture server;
        QVERIFY(server.start());
        auto owner = server.signedIn(QStringLiteral("owner@example.org"));
        auto member = server.signedIn(QStringLiteral("member@example.org"));
        AccountScreen owners(owner.get());
        AccountScreen members(member.get());
        owners.prompts().confirm = members.prompts().confirm = [](const QString &, const QString &) { return true; };
        using Page = AccountScreen::Page;

        QVERIFY(rebuiltAfter(owners, Page::ProfilePage, [&] { owners.refreshProfile(); }));
        answer(owners, {"  Olive Owner "});
        QVERIFY(rebuiltAfter(owners, Page::ProfilePage, [&] { owners.editDisplayName(); }));
        QCOMPARE(owners.statusText(), QStringLiteral("Display name updated."));
        QVERIFY(shows(owners, Page::ProfilePage, "Olive Owner"));

        // Someone in no group founds one by inviting; join from the second
        // account: each then sees the controls of its role.
        QString invite;
        owners.prompts().inform = [&](const QString &, const QString &text) { invite = text.section('\n', -1); };
        QVERIFY(rebuiltAfter(owners, Page::GroupPage, [&] { owners.refreshGroup(); }));
        const QList<QPushButton *> generate = buttons(owners, Page::GroupPage, "Generate Invite Code");
        QCOMPARE(generate.size(), 1);
        QVERIFY(rebuiltAfter(owners, Page::GroupPage, [&] { generate.first()->click(); }));
        QVERIFY(shows(owners, Page::GroupPage, "Invite code: " + invite));
        QCOMPARE(invite.size(), 10);
        answer(members, {" " + invite + " "});
        QVERIFY(rebuiltAfter(members, Page::GroupPage, [&] { members.joinGroup(); }));
        QCOMPARE(members.statusText(), QStringLiteral("Joined group."));
        QVERIFY(rebuiltAfter(owners, Page::GroupPage, [&] { owners.refreshGroup(); }));
        QVERIFY(shows(owners, Page::GroupPage, "member@example.org"));
        for (const auto &[text, forOwner, forMember] : {std::tuple{"Remove", 1, 0}, {"Invite by Email", 1, 0},
                                                        {"Leave Group", 0, 1}}) {
            QCOMPARE(buttons(owners, Page::GroupPage, text).size(), forOwner);
            QCOMPARE(buttons(members, Page::GroupPage, text).size(), forMember);
        }
        QVERIFY(!buttons(owners, Page::DataPage, "Delete Account").first()->isEnabled());

        // Password, then a sign-in with the new one.
        answerPasswords(members, {"correct horse", "staple battery", "staple battery"});
        members.changePassword();
        QTRY_COMPARE_WITH_TIMEOUT(members.statusText(), QStringLiteral("Password changed."), 20000);
        int status = 0;
        server.signIn("member@example.org", false, &status, "staple battery");
        QCOMPARE(status, 302);
        server.signIn("member@example.org", false, &status);
        QCOMPARE(status, 401);

        // That sign-in is a second session: revoke it.
        QVERIFY(rebuiltAfter(members, Page::SecurityPage, [&] { members.refreshSessions(); }));
        QVERIFY(shows(members, Page::SecurityPage, "This session"));
        const QList<QPushButton *> revoke = buttons(members, Page::SecurityPage, "Revoke");
        QCOMPARE(revoke.size(), 1);
        QVERIFY(rebuiltAfter(members, Page::SecurityPage, [&] { revoke.first()->click(); }));
        QCOMPARE(members.statusText(), QStringLiteral("Session revoked."));
        QVERIFY(buttons(members, Page::SecurityPage, "Revoke").isEmpty());

        // The owner removes the member.
        const QList<QPushButton *> remove = buttons(owners, Page::GroupPage, "Remove");
        QVERIFY(rebuiltAfter(owners, Page::GroupPage, [&] { remove.first()->click(); }));
        QVERIFY(buttons(owners, Page::GroupPage, "Remove").isEmpty());
        QVERIFY(rebuiltAfter(members, Page::GroupPage, [&] { members.refreshGroup(); }));
        QCOMPARE(buttons(members, Page::GroupPage, "Join with Invite Code").size(), 1);
    }
};

VELM_TEST_MAIN(TestAccountScreen)
#include "tst_accountscreen.moc"
