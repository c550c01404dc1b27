#include "velmtest.h"

#include "../io/iofixture.h"
#include "../io/tarbuilder.h"
#include "delta.h"
#include "importdialog.h"

#include <QLabel>
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
