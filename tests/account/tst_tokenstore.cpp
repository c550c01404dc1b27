#include "filetokenstore.h"
#include "velmtest.h"

#ifdef VELM_HAVE_LIBSECRET
#include "secretservicetokenstore.h"
#endif

#include <QFileInfo>
#include <QSignalSpy>

using namespace VelmAccount;

class TestTokenStore : public QObject
{
    Q_OBJECT

    static void roundTrip(TokenStore &store)
    {
        QVERIFY(store.write(TokenStore::accessTokenKey, QStringLiteral("a.b.c")));
        QVERIFY(store.write(TokenStore::refreshTokenKey, QStringLiteral("s1.secret")));
        QCOMPARE(store.read(TokenStore::accessTokenKey), std::optional<QString>(QStringLiteral("a.b.c")));
        QVERIFY(store.write(TokenStore::refreshTokenKey, QStringLiteral("s1.rotated")));
        QCOMPARE(store.read(TokenStore::refreshTokenKey), std::optional<QString>(QStringLiteral("s1.rotated")));
        store.clear();
        QCOMPARE(store.read(TokenStore::accessTokenKey), std::nullopt);
        QCOMPARE(store.read(TokenStore::refreshTokenKey), std::nullopt);
        QVERIFY(!store.remove(TokenStore::accessTokenKey));
    }

private slots:
    // The keyring when the test runs beside one (CI starts it under a private
    // session bus), else the file the application falls back to.
    void platformStoreKeepsTokens()
    {
        QTemporaryDir dir;
        const std::unique_ptr<TokenStore> store = createPlatformTokenStore(QStringLiteral("app.velmora.notes.test"), dir.path());
#ifdef VELM_HAVE_LIBSECRET
        const bool keyring = SecretServiceTokenStore::isAvailable();
        QCOMPARE(dynamic_cast<SecretServiceTokenStore *>(store.get()) != nullptr, keyring);
        if (!qEnvironmentVariableIsEmpty("VELM_EXPECT_KEYRING"))
            QVERIFY2(keyring, "a keyring was started for this test but did not answer");
#endif
        roundTrip(*store);
        if (auto *file = dynamic_cast<FileTokenStore *>(store.get()))
            QCOMPARE(QFileInfo(file->path()).absolutePath(), dir.path());
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
        QCOMPARE(store.read(TokenStore::refreshTokenKey), std::optional<QString>(QStringLiteral("old")));
        QVERIFY(store.write(TokenStore::accessTokenKey, QStringLiteral("new")));
        QCOMPARE(QFile::permissions(path), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(FileTokenStore(path).read(TokenStore::refreshTokenKey), std::optional<QString>(QStringLiteral("old")));
        QCOMPARE(FileTokenStore(path).read(TokenStore::accessTokenKey), std::optional<QString>(QStringLiteral("new")));
        // Nothing but the file itself is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("tokens.json")}));
        roundTrip(store);
    }

    void unwritablePlaceReportsFailure()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        FileTokenStore store(blocker.fileName() + QStringLiteral("/tokens.json"));
        QVERIFY(!store.write(TokenStore::accessTokenKey, QStringLiteral("x")));
        QCOMPARE(store.read(TokenStore::accessTokenKey), std::nullopt);
    }
};

VELM_TEST_CORE_MAIN(TestTokenStore)
#include "tst_tokenstore.moc"
