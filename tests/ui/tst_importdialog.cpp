#include "velmtest.h"

#include "../io/iofixture.h"
#include "../io/tarbuilder.h"
#include "delta.h"
#include "importdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

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
        dialog.setImporter(ImportDialog::Format::Joplin, [&called](const QString &, const IoRepositories &, const ProgressCallback &) {
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

    void theBarFollowsTheImporterAndTheWizardStaysOpenMeanwhile()
    {
        ImportDialog dialog(m_fx->repositories());
        dialog.setSelectedFile(m_dir.filePath("export.nsx"));
        QList<int> maxima;
        QList<int> values;
        QStringList labels;
        bool closedDuringImport = true;
        dialog.setImporter(ImportDialog::Format::NoteStation,
                           [&](const QString &path, const IoRepositories &, const ProgressCallback &progress) {
                               labels << progressLabel(dialog)->text();
                               progress(0, 0, "Extracting archive...");
                               maxima << bar(dialog)->maximum();
                               progress(2, 4, "Importing: two");
                               maxima << bar(dialog)->maximum();
                               values << bar(dialog)->value();
                               labels << progressLabel(dialog)->text();
                               dialog.reject(); // ignored while the import runs
                               closedDuringImport = !dialog.isVisible();
                               ImportResult result;
                               result.imported = 4;
                               result.errors = 2;
                               result.error = path;
                               return result;
                           });
        chooseNoteStation(dialog);
        dialog.show();
        dialog.next();
        dialog.next();
        QTRY_COMPARE(dialog.currentId(), int(ImportDialog::SummaryPage));
        QCOMPARE(labels, QStringList({"Starting import of export.nsx...", "Importing: two"}));
        QCOMPARE(maxima, QList<int>({0, 4}));
        QCOMPARE(values, QList<int>({2}));
        QVERIFY(!closedDuringImport);
        QCOMPARE(dialog.summaryText(), "Imported: 4 notes\nErrors: 2\n" + m_dir.filePath("export.nsx"));
        dialog.reject();
        QVERIFY(!dialog.isVisible());
    }
};

VELM_TEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
