#include "velmtest.h"
#include "appstatefixture.h"

#include "mainwindow.h"
#include "settingsdialog.h"
#include "statusbar.h"
#include "translations.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>

// A pseudo-translation made from the shipped English template with Qt's own
// tools: every text in brackets. Whatever shows without them was not
// translatable, or is missing from the template.
class TestTranslations : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static QString pseudoTranslated(QString ts)
    {
        static const QRegularExpression message(QStringLiteral("<message( numerus=\"yes\")?>(.*?)</message>"),
                                                QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression source(QStringLiteral("<source>(.*?)</source>"),
                                               QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression translation(QStringLiteral("<translation.*?</translation>"),
                                                    QRegularExpression::DotMatchesEverythingOption);
        QString out;
        qsizetype at = 0;
        auto it = message.globalMatch(ts);
        while (it.hasNext()) {
            const auto m = it.next();
            QString body = m.captured(2);
            const QString text = '[' + source.match(body).captured(1) + ']';
            const QString form = QStringLiteral("<numerusform>%1</numerusform>").arg(text);
            body.replace(translation, m.captured(1).isEmpty() ? "<translation>" + text + "</translation>"
                                                              : "<translation>" + form + form + "</translation>");
            out += ts.mid(at, m.capturedStart() - at) + "<message" + m.captured(1) + '>' + body + "</message>";
            at = m.capturedEnd();
        }
        return out + ts.mid(at);
    }

    static QStringList unbracketed(const QStringList &texts)
    {
        QStringList wrong;
        for (QString text : texts) {
            text.remove(QLatin1Char('&'));
            if (!text.trimmed().isEmpty() && !text.startsWith(QLatin1Char('[')))
                wrong << text;
        }
        return wrong;
    }

    static void collectMenu(const QMenu *menu, QStringList *texts)
    {
        *texts << menu->title();
        for (const QAction *action : menu->actions()) {
            if (action->menu())
                collectMenu(action->menu(), texts);
            else if (!action->isSeparator())
                *texts << action->text();
        }
    }

private slots:
    void initTestCase()
    {
        QFile english(QStringLiteral(VELM_TS_FILE));
        QVERIFY2(english.open(QIODevice::ReadOnly), qPrintable(english.fileName()));
        const QString pseudo = pseudoTranslated(QString::fromUtf8(english.readAll()));
        QVERIFY(pseudo.count(QLatin1String("<translation>[")) > 500);
        QFile ts(m_dir.filePath("velmora-notes_en.ts"));
        QVERIFY(ts.open(QIODevice::WriteOnly));
        ts.write(pseudo.toUtf8());
        ts.close();

        QProcess lrelease;
        lrelease.start(QStringLiteral(VELM_LRELEASE), {ts.fileName()});
        QVERIFY(lrelease.waitForFinished(60000));
        QVERIFY2(lrelease.exitCode() == 0, lrelease.readAllStandardError().constData());
        QVERIFY(installTranslations(qApp, QLocale(QLocale::English), m_dir.path()));
        QVERIFY(!installTranslations(qApp, QLocale(QLocale::Esperanto), m_dir.path()));
    }

    void everyShownTextIsTranslated_data()
    {
        QTest::addColumn<QString>("surface");
        QTest::newRow("menus") << "menus";
        QTest::newRow("status bar") << "status bar";
        QTest::newRow("preferences") << "preferences";
    }

    void everyShownTextIsTranslated()
    {
        QFETCH(QString, surface);
        auto state = VelmTest::emptyState();
        MainWindow main(state.get());
        main.show();
        QStringList texts;
        if (surface == QLatin1String("menus")) {
            for (const QAction *action : main.menuBar()->actions()) {
                if (action->menu())
                    collectMenu(action->menu(), &texts);
            }
        } else if (surface == QLatin1String("status bar")) {
            texts << main.findChild<StatusBar *>()->statusText();
        } else {
            SettingsDialog dialog(state.get(), &main);
            texts << dialog.windowTitle();
            for (const QLabel *label : dialog.findChildren<QLabel *>())
                texts << label->text();
            for (const QAbstractButton *button : dialog.findChildren<QAbstractButton *>())
                texts << button->text();
            for (const QGroupBox *box : dialog.findChildren<QGroupBox *>())
                texts << box->title();
            for (const QTabWidget *tabs : dialog.findChildren<QTabWidget *>()) {
                for (int i = 0; i < tabs->count(); ++i)
                    texts << tabs->tabText(i);
            }
        }
        QVERIFY(texts.size() >= (surface == QLatin1String("status bar") ? 1 : 10));
        const QStringList wrong = unbracketed(texts);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1String(" | "))));
    }

    // The template itself carries English's plural forms (after the pseudo
    // rows: the translation installed last answers first).
    void englishPluralsComeFromTheTemplate_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one change") << "StatusBar" << "%n change(s) waiting to be uploaded." << 1
                                    << "1 change waiting to be uploaded.";
        QTest::newRow("three changes") << "StatusBar" << "%n change(s) waiting to be uploaded." << 3
                                       << "3 changes waiting to be uploaded.";
        QTest::newRow("one match") << "FindBar" << "%n match(es)" << 1 << "1 match";
    }

    void englishPluralsComeFromTheTemplate()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QFETCH(int, n);
        QFETCH(QString, shown);
        static const bool installed = [this] {
            const QString dir = m_dir.filePath(QStringLiteral("english"));
            QProcess lrelease;
            lrelease.start(QStringLiteral(VELM_LRELEASE),
                           {QStringLiteral(VELM_TS_FILE), QStringLiteral("-qm"), dir + "/velmora-notes_en.qm"});
            return QDir().mkpath(dir) && lrelease.waitForFinished(60000) && lrelease.exitCode() == 0
                && installTranslations(qApp, QLocale(QLocale::English), dir);
        }();
        QVERIFY(installed);
        QCOMPARE(QCoreApplication::translate(context.toUtf8(), source.toUtf8(), nullptr, n), shown);
    }
};

VELM_TEST_MAIN(TestTranslations)
#include "tst_translations.moc"
