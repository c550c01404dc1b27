#include "velmtest.h"

#include "../io/iofixture.h"
#include "../io/tarbuilder.h"
#include "delta.h"
#include "importdialog.h"
#include "writeplan.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>

class TestImportDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<IoFixture> m_fx;

    static QProgressBar *bar(ImportDialog &dialog) { return dialog.page(ImportDialog::ProgressPage)->findChild<QProgressBar *>(); }
    static QLabel *progressLabel(ImportDialog &dialog) { return dialog.page(ImportDialog::ProgressPage)->findChild<QLabel *>(); }
    static void chooseNoteStation(ImportDialog &dialog)
    {
        for (QRadioButton *b : dialog.page(ImportDialog::FormatPage)->findChildren<QRadioButton *>())
            b->setChecked(b->text() == "Synology NoteStation (.nsx)");
    }

    QString writeJex()
    {
        const QString noteId(32, 'a');
        const QString resourceId(32, 'b');
        TarBuilder tar;
        tar.add(noteId + ".md", ("Packing\n\n- [ ] boots\n\n![map](:/" + resourceId + ")\n\nid: " + noteId
                                 + "\nmarkup_language: 1\ntype_: 1").toUtf8());
        tar.add(resourceId + ".md", ("map.png\n\nid: " + resourceId + "\nmime: image/png\nfile_extension: png\ntype_: 4").toUtf8());
        tar.add("resources/" + resourceId + ".png", "png bytes");
        return IoFiles::write(m_dir.filePath("notes.jex"), tar.finish());
    }

private slots:
    void init()
    {
        m_fx = IoFixture::create(m_dir.path());
        QVERIFY(m_fx);
    }

    void cleanup() { m_fx.reset(); }

    void anImportRunsWhenTheProgressPageShowsAndEndsOnTheSummary()
    {
        ImportDialog dialog(m_fx->repositories());
        dialog.setSelectedFile(writeJex());
        dialog.show();
        dialog.next();
        dialog.next();
        QCOMPARE(dialog.currentId(), int(ImportDialog::ProgressPage));
        QTRY_COMPARE(dialog.currentId(), int(ImportDialog::SummaryPage));
        QCOMPARE(dialog.summaryText(), QString("Imported: 1 notes\nAttachments: 1"));
        QCOMPARE(bar(dialog)->value(), bar(dialog)->maximum());
        const QList<Note> notes = m_fx->notes->allNotes();
        QCOMPARE(notes.size(), 1);
        QCOMPARE(noteTitle(notes.first().body), QString("Packing"));
        QCOMPARE(m_fx->attachments->attachmentsForNote(notes.first().id).size(), 1);
        // No way back into a second run.
        QVERIFY(!dialog.button(QWizard::BackButton)->isVisible());
    }

    void eachNewSourceReachesItsImporter_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("folder"); // chosen with the folder button
        QTest::addColumn<QString>("typed"); // into the notebook name field, shown for Evernote only
        QTest::addColumn<QString>("notebook");
        QTest::newRow("evernote") << "Evernote Export (.enex)" << false << "" << "n";
        QTest::newRow("evernote into a named notebook") << "Evernote Export (.enex)" << false << " Trip  2024 " << "Trip 2024";
        QTest::newRow("markdown") << "Folder of Markdown files (or a .zip of one)" << true << "" << "Sub";
    }

    void eachNewSourceReachesItsImporter()
    {
        QFETCH(QString, button);
        QFETCH(bool, folder);
        QFETCH(QString, typed);
        QFETCH(QString, notebook);
        QDir().mkpath(m_dir.filePath("md/Sub"));
        IoFiles::write(m_dir.filePath("md/Sub/a.md"), "# A\n\ntext\n");
        const QString enex = IoFiles::write(m_dir.filePath("n.enex"),
                                            "<en-export><note><title>A</title><content><![CDATA[<en-note>text</en-note>]]>"
                                            "</content></note></en-export>");
        ImportDialog dialog(m_fx->repositories());
        dialog.setOpenFileDialog([&](QWidget *, const QString &, const QString &filter) {
            return filter.contains("*.enex") ? enex : QString();
        });
        dialog.setOpenFolderDialog([&](QWidget *, const QString &) { return m_dir.filePath("md"); });
        dialog.show();
        for (QRadioButton *b : dialog.page(ImportDialog::FormatPage)->findChildren<QRadioButton *>())
            b->setChecked(b->text() == button);
        dialog.next();
        const QList<QPushButton *> buttons = dialog.page(ImportDialog::FilePage)->findChildren<QPushButton *>();
        for (QPushButton *b : buttons) {
            QCOMPARE(b->isVisible(), b->text() == "Browse..." || folder);
            if (b->text() == (folder ? "Choose Folder..." : "Browse..."))
                b->click();
        }
        QLineEdit *name = dialog.page(ImportDialog::FilePage)->findChild<QLineEdit *>();
        QCOMPARE(name->isVisible(), !folder);
        name->setText(typed);
        dialog.next();
        QTRY_COMPARE(dialog.currentId(), int(ImportDialog::SummaryPage));
        QCOMPARE(dialog.summaryText(), QString("Imported: 1 notes"));
        QCOMPARE(noteTitle(m_fx->notes->allNotes().value(0).body), QString("A"));
        QCOMPARE(m_fx->notebooks->allNotebooks().value(0).name, notebook);
    }

    void withoutAFileNothingIsImported()
    {
        ImportDialog dialog(m_fx->repositories());
        bool called = false;
        dialog.setImporter(ImportDialog::Format::Joplin, [&called](const QString &, WritePlan &) {
            called = true;
            return ImportResult();
        });
        dialog.show();
        dialog.next();
        dialog.next();
        QTRY_COMPARE(progressLabel(dialog)->text(), QString("No file was selected."));
        QVERIFY(!called);
        QCOMPARE(dialog.currentId(), int(ImportDialog::ProgressPage));
        QVERIFY(dialog.button(QWizard::NextButton)->isEnabled() || dialog.button(QWizard::CommitButton)->isEnabled());
    }

    // The importer runs on a worker: the wizard paints its progress meanwhile,
    // and closing it cancels, leaving the notes as they were.
    void theBarFollowsTheImporterAndClosingCancels_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("runs to the end") << false;
        QTest::newRow("closed meanwhile") << true;
    }

    void theBarFollowsTheImporterAndClosingCancels()
    {
        QFETCH(bool, close);
        ImportDialog dialog(m_fx->repositories());
        dialog.setSelectedFile(m_dir.filePath("export.nsx"));
        QSemaphore reported, go;
        dialog.setImporter(ImportDialog::Format::NoteStation, [&](const QString &path, WritePlan &plan) {
            plan.report(2, 4, "Importing: two");
            plan.addNote(Note::blank(IoFixture::newId(), QString()));
            plan.flush();
            reported.release();
            go.acquire();
            ImportResult result;
            result.errors = 2;
            result.problems << path;
            return result;
        });
        chooseNoteStation(dialog);
        dialog.show();
        dialog.next();
        dialog.next();
        QTRY_VERIFY(reported.available() == 1);
        QTRY_COMPARE(progressLabel(dialog)->text(), QString("Importing: two"));
        QCOMPARE(bar(dialog)->maximum(), 4);
        QCOMPARE(bar(dialog)->value(), 2);
        if (close)
            dialog.reject();
        QVERIFY(dialog.isVisible());
        go.release();
        QTRY_COMPARE(dialog.currentId(), int(ImportDialog::SummaryPage));
        const QString problems = "\nErrors: 2\n" + QString(close ? "Cancelled: nothing was imported.\n" : "") + "\u2022 "
            + m_dir.filePath("export.nsx");
        QCOMPARE(dialog.summaryText(), QString("Imported: %1 notes").arg(close ? 0 : 1) + problems);
        QCOMPARE(m_fx->notes->allNotes().size(), close ? 0 : 1);
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }
};

VELM_TEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
