#include "velmtest.h"

#include <QDirIterator>
#include <QHash>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>

#include <functional>

// Reads the source tree and holds it to its layers: a library includes only
// from itself and the libraries below it, widgets stay in the widget layers,
// a header name says which file it is, and the widget folders include each
// other without cycles.

namespace {

struct SourceFile
{
    QString path;   // relative to the tree, e.g. "src/ui/editor/noteeditor.cpp"
    QString folder; // "storage", ..., "ui/editor", "ui" for src/ui itself, "server"
    QStringList quoted;
    QStringList angled;
};

// Lower layers first; a library may include from any library of a lower rank.
// account, sync and update sit below the application state and the widgets;
// the wire protocol, shared with the server, below everything.
const QHash<QString, int> &layerRanks()
{
    static const QHash<QString, int> ranks{
        {"protocol", -1}, {"storage", 0}, {"document", 1}, {"io", 2}, {"account", 3},
        {"update", 3},    {"sync", 4},    {"state", 5},    {"ui", 6}, {"app", 7},
    };
    return ranks;
}

QString layerOf(const QString &folder)
{
    return folder.section('/', 0, 0);
}

QList<SourceFile> readTree()
{
    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])"));
    QList<SourceFile> files;
    const QString root = QStringLiteral(VELM_SOURCE_DIR);
    for (const QString &top : {QStringLiteral("src"), QStringLiteral("server")}) {
        QDirIterator it(root + '/' + top, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            SourceFile file;
            file.path = QDir(root).relativeFilePath(it.next());
            const QStringList parts = file.path.split('/');
            if (top == QLatin1String("server"))
                file.folder = QStringLiteral("server");
            else if (parts.size() > 3 && parts[1] == QLatin1String("ui"))
                file.folder = "ui/" + parts[2];
            else
                file.folder = parts.size() > 2 ? parts[1] : QString();
            QFile in(it.filePath());
            if (!in.open(QIODevice::ReadOnly))
                qFatal("cannot read %s", qPrintable(it.filePath()));
            for (const QByteArray &line : in.readAll().split('\n')) {
                const auto m = include.match(QString::fromUtf8(line));
                if (m.hasMatch())
                    (m.captured(1) == QLatin1String("\"") ? file.quoted : file.angled) << m.captured(2);
            }
            files << file;
        }
    }
    return files;
}

} // namespace

class TestLayers : public QObject
{
    Q_OBJECT

    QList<SourceFile> m_files;
    QHash<QString, QString> m_headerFolder; // file name -> folder

    // Every include of our own headers as "folder -> folder", with one example each.
    QHash<QPair<QString, QString>, QString> edges() const
    {
        QHash<QPair<QString, QString>, QString> result;
        for (const SourceFile &file : m_files) {
            for (const QString &name : file.quoted) {
                const QString target = m_headerFolder.value(QFileInfo(name).fileName());
                if (!target.isEmpty() && target != file.folder)
                    result.insert({file.folder, target}, file.path + " includes " + name);
            }
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        m_files = readTree();
        QVERIFY2(m_files.size() > 100, "the source tree was not found");
        for (const SourceFile &file : std::as_const(m_files)) {
            if (file.path.endsWith(QLatin1String(".h")))
                m_headerFolder.insert(QFileInfo(file.path).fileName(), file.folder);
        }
    }

    void headerNamesAreUnique()
    {
        QHash<QString, QStringList> byName;
        for (const SourceFile &file : std::as_const(m_files)) {
            if (file.path.endsWith(QLatin1String(".h")))
                byName[QFileInfo(file.path).fileName()] << file.path;
        }
        QStringList clashes;
        for (auto it = byName.cbegin(); it != byName.cend(); ++it) {
            if (it.value().size() > 1)
                clashes << it.value().join(QLatin1String(" and "));
        }
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
    }

    void everyFolderHasALayer()
    {
        for (const SourceFile &file : std::as_const(m_files)) {
            if (file.folder == QLatin1String("server"))
                continue;
            QVERIFY2(layerRanks().contains(layerOf(file.folder)),
                     qPrintable(file.path + " is in a folder without a layer"));
        }
    }

    void includesPointDown()
    {
        QStringList wrong;
        const auto all = edges();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const QString from = layerOf(it.key().first), to = layerOf(it.key().second);
            if (from == to)
                continue;
            // The server is a program of its own: it shares only the wire protocol with the application.
            const bool allowed = to == QLatin1String("protocol")
                || (from != QLatin1String("server") && to != QLatin1String("server")
                    && layerRanks().value(to, 99) < layerRanks().value(from, -2));
            if (!allowed)
                wrong << it.key().first + " -> " + it.key().second + " (" + it.value() + ")";
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }

    void widgetsOnlyInTheWidgetLayers()
    {
        const QDir widgets(QLibraryInfo::path(QLibraryInfo::HeadersPath) + "/QtWidgets");
        QSet<QString> widgetHeaders;
        const QStringList entries = widgets.entryList(QDir::Files);
        for (const QString &entry : entries)
            widgetHeaders.insert(entry);
        QVERIFY2(widgetHeaders.contains("QWidget"), qPrintable("no Qt Widgets headers in " + widgets.path()));

        QStringList wrong;
        for (const SourceFile &file : std::as_const(m_files)) {
            const QString layer = layerOf(file.folder);
            if (layer == QLatin1String("ui") || layer == QLatin1String("app"))
                continue;
            for (const QString &name : file.angled) {
                if (name.startsWith(QLatin1String("QtWidgets")) || widgetHeaders.contains(name))
                    wrong << file.path + " includes <" + name + ">";
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }

    void widgetFoldersHaveNoCycles()
    {
        QHash<QString, QStringList> next;
        const auto all = edges();
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (layerOf(it.key().first) == QLatin1String("ui") && layerOf(it.key().second) == QLatin1String("ui"))
                next[it.key().first] << it.key().second;
        }
        // Depth-first search; a folder met again while still on the path closes a cycle.
        QHash<QString, int> state; // 1 on the path, 2 done
        QStringList path, cycle;
        std::function<bool(const QString &)> visit = [&](const QString &folder) {
            state[folder] = 1;
            path << folder;
            for (const QString &to : next.value(folder)) {
                if (state.value(to) == 1) {
                    cycle = path.mid(path.indexOf(to)) << to;
                    return true;
                }
                if (state.value(to) == 0 && visit(to))
                    return true;
            }
            path.removeLast();
            state[folder] = 2;
            return false;
        };
        for (auto it = next.cbegin(); it != next.cend() && cycle.isEmpty(); ++it) {
            if (state.value(it.key()) == 0)
                visit(it.key());
        }
        QStringList shown;
        for (int i = 0; i + 1 < cycle.size(); ++i)
            shown << all.value({cycle[i], cycle[i + 1]});
        QVERIFY2(cycle.isEmpty(), qPrintable(cycle.join(" -> ") + '\n' + shown.join('\n')));
    }
};

VELM_TEST_CORE_MAIN(TestLayers)
#include "tst_layers.moc"
