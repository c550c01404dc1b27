#include "velmtest.h"

#include "../io/iofixture.h"
#include "importdialog.h"
#include "iocommands.h"
#include "noteexport.h"

#include <QFile>
#include <QSignalSpy>

namespace {

struct Calls
{
    QStringList log;            // "<kind>|<title or caption>|<text or proposed>|<filter>"
    QString nextPath;           // answer of the file dialogs
    bool answerYes = true;
    std::optional<IoCommands::ExportChoice> choice = IoCommands::ExportChoice{ExportFormat::Html, false};
};

IoCommands::Dialogs fakeDialogs(Calls *calls)
{
    IoCommands::Dialogs d;
    d.chooseExport = [calls](QWidget *) {
        calls->log << "export dialog";
        return calls->choice;
    };
    d.saveFileName = [calls](QWidget *, const QString &caption, const QString &proposed, const QString &filter) {
        calls->log << "save|" + caption + "|" + proposed + "|" + filter;
        return calls->nextPath;
    };
    d.openFileName = [calls](QWidget *, const QString &caption, const QString &, const QString &filter) {
        calls->log << "open|" + caption + "|" + filter;
        return calls->nextPath;
    };
    d.question = [calls](QWidget *, const QString &title, const QString &text) {
        calls->log << "question|" + title + "|" + text;
        return calls->answerYes;
    };
    d.warning = [calls](QWidget *, const QString &title, const QString &text) {
        calls->log << "warning|" + title + "|" + text;
    };
    d.information = [calls](QWidget *, const QString &title, const QString &text) {
        calls->log << "information|" + title + "|" + text;
    };
    return d;
}

} // namespace

class TestIoCommands : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private slots:
    void exportWritesTheStoredNoteAndReportsWhere()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        const Note note = fx->addNote(R"([{"insert":"Budget: Q3\n"}])");
        QWidget window;
        IoCommands commands(fx->repositories(), &window);
        Calls calls;
        commands.setDialogs(fakeDialogs(&calls));
        QSignalSpy status(&commands, &IoCommands::statusMessage);

        calls.nextPath = m_dir.filePath("budget.html");
        commands.exportNote(note.id);
        QCOMPARE(calls.log, QStringList({"export dialog", "save|Export Note|Budget Q3.html|"}));
        QCOMPARE(status, QList<QVariantList>({{"Exported to " + m_dir.filePath("budget.html"), 3000}}));
        QVERIFY(IoFiles::read(calls.nextPath).contains("<body>\n<p>Budget: Q3</p>"));

        // Failure: a warning, no status.
        calls.log.clear();
        calls.nextPath = m_dir.filePath("no-folder/budget.html");
        commands.exportNote(note.id);
        QCOMPARE(calls.log.size(), 3);
        QVERIFY2(calls.log.at(2).startsWith("warning|Export Failed|Failed to write file: "), qPrintable(calls.log.at(2)));
        QCOMPARE(status.size(), 1);

        // Cancelled at the format or at the file: nothing is written.
        calls.log.clear();
        calls.choice.reset();
        commands.exportNote(note.id);
        QCOMPARE(calls.log, QStringList({"export dialog"}));
        calls.log.clear();
        calls.choice = IoCommands::ExportChoice{ExportFormat::Markdown, false};
        calls.nextPath.clear();
        commands.exportNote(note.id);
        QCOMPARE(calls.log, QStringList({"export dialog", "save|Export Note|Budget Q3.md|"}));
        QCOMPARE(status.size(), 1);

        // No such note: no dialog at all.
        calls.log.clear();
        commands.exportNote("missing");
        commands.exportNote(QString());
        QVERIFY(calls.log.isEmpty());
    }

    void markdownExportAsksForAFolderOrZip_data()
    {
        QTest::addColumn<bool>("oneNotebook");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<int>("notes");
        QTest::newRow("everything to a folder") << false << "all" << "Velmora Notes" << 2;
        QTest::newRow("a notebook to a zip") << true << "work.zip" << "Work" << 1;
    }

    void markdownExportAsksForAFolderOrZip()
    {
        QFETCH(bool, oneNotebook);
        QFETCH(QString, target);
        QFETCH(QString, proposed);
        QFETCH(int, notes);
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        Notebook work;
        work.id = IoFixture::newId();
        work.name = "Work";
        work.createdAt = work.updatedAt = IoFixture::at(1);
        QVERIFY(fx->notebooks->insert(work));
        fx->addNote(R"([{"insert":"In work\n"}])", work.id);
        fx->addNote(R"([{"insert":"Loose\n"}])");
        IoCommands commands(fx->repositories(), nullptr);
        Calls calls;
        commands.setDialogs(fakeDialogs(&calls));
        QSignalSpy status(&commands, &IoCommands::statusMessage);
        calls.nextPath = m_dir.filePath(IoFixture::newId() + target);
        commands.exportMarkdown(oneNotebook ? std::optional<QString>(work.id) : std::nullopt);
        QCOMPARE(calls.log, QStringList({"save|Export as Markdown|" + proposed + "|Folder (*);;ZIP Archive (*.zip)"}));
        QCOMPARE(status.size(), 1);
        QCOMPARE(status.first().first().toString(), QString("Exported %1 notes to %2").arg(notes).arg(calls.nextPath));
        const int written = oneNotebook ? IoFiles::readZip(calls.nextPath).size() : IoFiles::tree(calls.nextPath).size();
        QCOMPARE(written, notes);
        calls.nextPath = m_dir.filePath("no/such/dir/x.zip");
        commands.exportMarkdown(std::nullopt);
        QVERIFY(calls.log.last().startsWith("warning|Export Failed|Failed to write file: "));
    }

    void backupAndRestoreGoThroughTheirDialogs()
    {
        auto source = IoFixture::create(m_dir.path());
        QVERIFY(source);
        source->addNote(R"([{"insert":"one\n"}])");
        source->addNote(R"([{"insert":"two\n"}])");
        QWidget window;
        Calls calls;
        const QString archive = m_dir.filePath("backup.zip");
        {
            IoCommands commands(source->repositories(), &window);
            commands.setDialogs(fakeDialogs(&calls));
            QSignalSpy status(&commands, &IoCommands::statusMessage);
            calls.nextPath = archive;
            commands.backupDatabase();
            QCOMPARE(calls.log, QStringList({"save|Save Backup|velmora-notes-backup.zip|ZIP Archive (*.zip)"}));
            QCOMPARE(status.value(0).value(0).toString(), QString("Backup saved: 2 notes"));
            QVERIFY(QFile::exists(archive));

            calls.log.clear();
            calls.nextPath = m_dir.filePath("no-folder/backup.zip");
            commands.backupDatabase();
            QCOMPARE(calls.log.size(), 2);
            QVERIFY2(calls.log.at(1).startsWith("warning|Backup Failed|Failed to create ZIP: "), qPrintable(calls.log.at(1)));
        }
        source.reset();

        auto target = IoFixture::create(m_dir.path());
        QVERIFY(target);
        IoCommands commands(target->repositories(), &window);
        commands.setDialogs(fakeDialogs(&calls));
        calls.log.clear();
        calls.nextPath = archive;
        calls.answerYes = false;
        commands.restoreDatabase();
        QCOMPARE(calls.log, QStringList({"open|Select Backup|ZIP Archive (*.zip)",
                                         "question|Restore Backup|Import notes from backup? Existing notes with the "
                                         "same ID will be skipped."}));
        QVERIFY(target->notes->allNotes().isEmpty());

        calls.log.clear();
        calls.answerYes = true;
        commands.restoreDatabase();
        QTRY_COMPARE(calls.log.last(), QString("information|Restore Complete|Imported: 2\nSkipped: 0\nErrors: 0"));
        QCOMPARE(target->notes->allNotes().size(), 2);

        calls.log.clear();
        commands.restoreDatabase();
        QTRY_COMPARE(calls.log.last(), QString("information|Restore Complete|Imported: 0\nSkipped: 2\nErrors: 0"));
    }

    void importOpensTheWizardThatDeletesItself()
    {
        auto fx = IoFixture::create(m_dir.path());
        QVERIFY(fx);
        QWidget window;
        IoCommands commands(fx->repositories(), &window);
        QPointer<ImportDialog> opened;
        commands.setImportDialogHook([&opened](ImportDialog *dialog) { opened = dialog; });
        commands.importNotes();
        QVERIFY(opened && opened->isVisible());
        QCOMPARE(opened->parentWidget(), &window);
        opened->reject();
        QTRY_VERIFY(!opened);
    }
};

VELM_TEST_MAIN(TestIoCommands)
#include "tst_iocommands.moc"
