#pragma once

// Test entry points that isolate every test process: a private temporary
// folder holds the data directory, the runtime directory (single-instance
// socket) and the XDG config/data/cache homes, so tests never touch the
// user's data and can run in parallel.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace VelmTest {

// Points every per-user location into dir. Call before the application object exists.
inline void isolate(const QTemporaryDir &dir)
{
    const QString root = dir.path();
    const auto point = [&root](const char *var, const char *sub) {
        const QString path = root + '/' + QLatin1String(sub);
        QDir().mkpath(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(var, path.toUtf8());
    };
    point("NOTES_DATA_DIR", "data");
    point("XDG_RUNTIME_DIR", "runtime");
    point("XDG_CONFIG_HOME", "config");
    point("XDG_DATA_HOME", "share");
    point("XDG_CACHE_HOME", "cache");
    point("HOME", "home");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
}

} // namespace VelmTest

#define VELM_TEST_MAIN_IMPL(AppClass, TestObject)                                                                  \
    int main(int argc, char *argv[])                                                                               \
    {                                                                                                              \
        QTemporaryDir velmTestDir;                                                                                 \
        if (!velmTestDir.isValid())                                                                                \
            return 2;                                                                                              \
        VelmTest::isolate(velmTestDir);                                                                            \
        AppClass app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                   \
        TestObject tc;                                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                                      \
    }

// Widgets available (offscreen platform).
#define VELM_TEST_MAIN(TestObject) VELM_TEST_MAIN_IMPL(QApplication, TestObject)
// No GUI needed.
#define VELM_TEST_CORE_MAIN(TestObject) VELM_TEST_MAIN_IMPL(QCoreApplication, TestObject)
