#include "filetokenstore.h"
#include "keychaintokenstore.h"
#include "memorytokenstore.h"
#include "velmtest.h"

#include <QFileInfo>

using namespace VelmAccount;

namespace {

// Each call's answer, in the order they came.
struct Answers
{
    QStringList log;
    TokenStore::WriteCallback wrote(const QString &name)
    {
        return [this, name](bool ok) { log << name + (ok ? "" : " failed"); };
    }
    TokenStore::ReadCallback read(const QString &name)
    {
        return [this, name](const std::optional<QString> &value) { log << name + "=" + value.value_or("none"); };
    }
};

std::unique_ptr<TokenStore> makeStore(const QString &kind, const QString &dir)
{
    if (kind == "memory")
        return std::make_unique<MemoryTokenStore>();
    if (kind == "file")
        return std::make_unique<FileTokenStore>(dir + "/tokens.json");
    return createPlatformTokenStore(QStringLiteral("app.velmora.notes.test"), dir);
}

} // namespace

class TestTokenStore : public QObject
{
    Q_OBJECT
private slots:
    // Answers come later, never inside the call, and in the order asked, so a
    // later write is never overtaken by an earlier one. "platform" is the
    // keyring when the test runs beside one (CI starts one on a private
    // session bus), else the file the application falls back to.
    void storesAnswerLaterAndInOrder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("memory") << "memory";
        QTest::newRow("file") << "file";
        QTest::newRow("platform") << "platform";
    }
    void storesAnswerLaterAndInOrder()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const std::unique_ptr<TokenStore> store = makeStore(kind, dir.path());
        Answers answers;
        store->write(TokenStore::accessTokenKey, "a.b.c", answers.wrote("w1"));
        store->write(TokenStore::refreshTokenKey, "s1.secret", answers.wrote("w2"));
        store->write(TokenStore::refreshTokenKey, "s1.rotated", answers.wrote("w3"));
        store->read(TokenStore::refreshTokenKey, answers.read("r"));
        store->clear();
        store->read(TokenStore::accessTokenKey, answers.read("gone"));
        // Whether removing nothing counts as done differs between keyrings.
        store->remove(TokenStore::accessTokenKey, [&answers](bool) { answers.log << "again"; });
        QVERIFY(answers.log.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(answers.log.size(), 6, 30000);
        QCOMPARE(answers.log, QStringList({"w1", "w2", "w3", "r=s1.rotated", "gone=none", "again"}));

        auto *keychain = dynamic_cast<KeychainTokenStore *>(store.get());
        const bool keyring = keychain && !keychain->usesFile();
        // 1: a keyring was started for this test; 0: one that cannot unlock.
        const QByteArray expected = qgetenv("VELM_EXPECT_KEYRING");
        if (kind == "platform" && !expected.isEmpty())
            QCOMPARE(keyring, expected == "1");
        if (kind == "platform")
            QCOMPARE(QFileInfo::exists(dir.filePath("account-tokens.json")), !keyring);
    }

    void fileIsOwnerOnlyAndReplacedWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tokens.json"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(R"({"velmora_refresh_token":"old"})");
        }
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup));

        FileTokenStore store(path);
        QCOMPARE(store.value(TokenStore::refreshTokenKey), std::optional<QString>(QStringLiteral("old")));
        QVERIFY(store.setValue(TokenStore::accessTokenKey, QStringLiteral("new")));
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(FileTokenStore(path).value(TokenStore::refreshTokenKey), std::optional<QString>(QStringLiteral("old")));
        QCOMPARE(FileTokenStore(path).value(TokenStore::accessTokenKey), std::optional<QString>(QStringLiteral("new")));
        // Nothing but the file itself is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("tokens.json")}));
    }

    void unwritablePlaceReportsFailure()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        FileTokenStore store(blocker.fileName() + QStringLiteral("/tokens.json"));
        Answers answers;
        store.write(TokenStore::accessTokenKey, QStringLiteral("x"), answers.wrote("w"));
        store.read(TokenStore::accessTokenKey, answers.read("r"));
        QTRY_COMPARE(answers.log, QStringList({"w failed", "r=none"}));
    }
};

VELM_TEST_CORE_MAIN(TestTokenStore)
#include "tst_tokenstore.moc"
