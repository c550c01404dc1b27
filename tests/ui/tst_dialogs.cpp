#include "velmtest.h"

#include "exportdialog.h"
#include "linkdialog.h"
#include "movetonotebookdialog.h"
#include "notebookdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

// Runs fn on the modal dialog a static operation is about to open.
template<typename Dialog, typename Fn>
void whenDialogOpens(Fn fn)
{
    QTimer::singleShot(0, [fn] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        fn(dialog);
    });
}

QList<Notebook> notebooks()
{
    QList<Notebook> list;
    for (const char *name : {"Work", "Home", "Travel"}) {
        Notebook notebook;
        notebook.id = QStringLiteral("nb-%1").arg(list.size() + 1);
        notebook.name = QString::fromLatin1(name);
        list.append(notebook);
    }
    return list;
}

} // namespace

// The small dialogs: notebook name, move to notebook, link and export.
class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void notebookNameNeedsMoreThanSpaces_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<bool>("initiallyEnabled");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabledAfterTyping");
        QTest::newRow("new, typed a name") << QString() << false << "Work" << true;
        QTest::newRow("new, typed spaces") << QString() << false << "   " << false;
        QTest::newRow("rename to spaces only") << "Home" << true << "  " << false;
    }
    void notebookNameNeedsMoreThanSpaces()
    {
        QFETCH(QString, initial);
        QFETCH(QString, typed);
        NotebookDialog dialog(QStringLiteral("Rename Notebook"), initial);
        QPushButton *ok = dialog.buttonBox()->button(QDialogButtonBox::Ok);
        QTEST(ok->isEnabled(), "initiallyEnabled");
        // The initial name is selected, so typing replaces it.
        QTest::keyClicks(dialog.nameEdit(), typed);
        QCOMPARE(dialog.nameEdit()->text(), typed);
        QTEST(ok->isEnabled(), "enabledAfterTyping");
    }

    void notebookDialogsAnswerTheTrimmedNameOrNothing()
    {
        whenDialogOpens<NotebookDialog>([](NotebookDialog *dialog) {
            QTest::keyClicks(dialog->nameEdit(), QStringLiteral("  Recipes  "));
            dialog->buttonBox()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(NotebookDialog::getNewName(nullptr), QStringLiteral("Recipes"));
        whenDialogOpens<NotebookDialog>([](NotebookDialog *dialog) {
            QCOMPARE(dialog->nameEdit()->text(), QStringLiteral("Old"));
            QTest::keyClicks(dialog->nameEdit(), QStringLiteral("New"));
            dialog->buttonBox()->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(NotebookDialog::getRename(nullptr, QStringLiteral("Old")), QString());
    }

    void currentNotebookIsShownButCannotBeChosen()
    {
        MoveToNotebookDialog dialog(notebooks(), QStringLiteral("nb-2"));
        QListWidget *list = dialog.list();
        QPushButton *ok = dialog.buttonBox()->button(QDialogButtonBox::Ok);
        QCOMPARE(list->item(0)->text(), QStringLiteral("No Notebook"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("Home (current)"));
        QVERIFY(!(list->item(2)->flags() & Qt::ItemIsEnabled));
        QVERIFY(!ok->isEnabled());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const auto rowCentre = [list](int row) { return list->visualItemRect(list->item(row)).center(); };
        list->setCurrentRow(2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
        QVERIFY(!ok->isEnabled());
        // A double-click: a click, then the press Qt reports as a double-click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(2));
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(3));
        QVERIFY(ok->isEnabled());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(3));
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenId(), std::optional<QString>("nb-3"));
    }

    // Row 0 takes the note out of every notebook.
    void chooseAnswersTheIdOrNothing()
    {
        for (const auto &[row, button, answer] :
             {std::tuple{3, QDialogButtonBox::Ok, std::optional<QString>("nb-3")},
              std::tuple{0, QDialogButtonBox::Ok, std::optional<QString>("")},
              std::tuple{3, QDialogButtonBox::Cancel, std::optional<QString>()}}) {
            whenDialogOpens<MoveToNotebookDialog>([row, button](MoveToNotebookDialog *dialog) {
                dialog->list()->setCurrentRow(row);
                dialog->buttonBox()->button(button)->click();
            });
            QCOMPARE(MoveToNotebookDialog::choose(nullptr, notebooks(), QStringLiteral("nb-1")), answer);
        }
    }

    // With a text the URL is what one edits; without, the text comes first.
    void linkDialogFocusesTheFieldToFill_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("focused");
        QTest::newRow("with a text") << "docs" << 1;
        QTest::newRow("without") << "" << 0;
    }
    void linkDialogFocusesTheFieldToFill()
    {
        QFETCH(QString, text);
        QFETCH(int, focused);
        LinkDialog dialog(QStringLiteral("Link"), text, QStringLiteral("https://x.example"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
        std::sort(edits.begin(), edits.end(), [](QLineEdit *a, QLineEdit *b) { return a->y() < b->y(); });
        QCOMPARE(QApplication::focusWidget(), edits.at(focused));
        QCOMPARE(edits.at(1)->selectedText(), focused ? QStringLiteral("https://x.example") : QString());
        edits.at(1)->setText(QStringLiteral("  example.org  "));
        QCOMPARE(dialog.url(), QStringLiteral("example.org"));
    }

    void theCheckedExportButtonDecidesTheFormat()
    {
        ExportDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // On the indicator: a radio button only reacts to clicks on its indicator and text.
        const auto click = [](QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); };
        const QList<QRadioButton *> buttons = dialog.findChildren<QRadioButton *>();
        for (const auto &[text, format] : {std::pair{"HTML (.html)", ExportFormat::Html}, {"PDF (.pdf)", ExportFormat::Pdf},
                                           {"Markdown (.md)", ExportFormat::Markdown}}) {
            click(*std::find_if(buttons.begin(), buttons.end(), [&](QRadioButton *b) { return b->text() == text; }));
            QCOMPARE(dialog.format(), format);
        }
        QVERIFY(!dialog.includeAttachments());
        click(dialog.findChild<QCheckBox *>());
        QVERIFY(dialog.includeAttachments());
    }
};

VELM_TEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
