#include "velmtest.h"

#include "movetonotebookdialog.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

class TestMoveToNotebookDialog : public QObject
{
    Q_OBJECT

private:
    static QList<Notebook> notebooks()
    {
        QList<Notebook> list;
        for (const auto &[id, name] : {std::pair{"nb-1", "Work"}, std::pair{"nb-2", "Home"},
                                       std::pair{"nb-3", "Travel"}}) {
            Notebook notebook;
            notebook.id = QString::fromLatin1(id);
            notebook.name = QString::fromLatin1(name);
            list.append(notebook);
        }
        return list;
    }
    static QPushButton *ok(const MoveToNotebookDialog &dialog)
    {
        return dialog.buttonBox()->button(QDialogButtonBox::Ok);
    }
    static void doubleClickRow(MoveToNotebookDialog &dialog, int row)
    {
        QListWidget *list = dialog.list();
        const QRect rect = list->visualItemRect(list->item(row));
        // A real double-click: a click, then the second press that Qt reports as a double-click.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

private slots:
    void listsNotebooksInOrderWithTheCurrentOneDisabled()
    {
        MoveToNotebookDialog dialog(notebooks(), QStringLiteral("nb-2"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Move to Notebook"));
        QListWidget *list = dialog.list();
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Work"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("Home (current)"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("Travel"));
        QCOMPARE(list->item(2)->data(Qt::UserRole).toString(), QStringLiteral("nb-3"));
        QVERIFY(!(list->item(1)->flags() & Qt::ItemIsEnabled));
        QVERIFY(list->item(0)->flags() & Qt::ItemIsEnabled);
    }

    void okNeedsAnotherNotebook()
    {
        MoveToNotebookDialog dialog(notebooks(), QStringLiteral("nb-2"));
        QVERIFY(!ok(dialog)->isEnabled());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.list()->setCurrentRow(1);
        QVERIFY(!ok(dialog)->isEnabled());
        // Clicking the disabled current notebook does not choose it either.
        QListWidget *list = dialog.list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QVERIFY(!ok(dialog)->isEnabled());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCOMPARE(dialog.chosenId(), QStringLiteral("nb-3"));
        QVERIFY(ok(dialog)->isEnabled());
    }

    void doubleClickAcceptsOnlyAnotherNotebook()
    {
        MoveToNotebookDialog dialog(notebooks(), QStringLiteral("nb-2"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        doubleClickRow(dialog, 1);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        doubleClickRow(dialog, 0);
        QTRY_VERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.chosenId(), QStringLiteral("nb-1"));
    }

    void chooseAnswersTheIdOrNothing()
    {
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<MoveToNotebookDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->list()->setCurrentRow(2);
            dialog->buttonBox()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(MoveToNotebookDialog::choose(nullptr, notebooks(), QStringLiteral("nb-1")), QStringLiteral("nb-3"));

        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<MoveToNotebookDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->list()->setCurrentRow(2);
            dialog->buttonBox()->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(MoveToNotebookDialog::choose(nullptr, notebooks(), QStringLiteral("nb-1")), QString());
    }
};

VELM_TEST_MAIN(TestMoveToNotebookDialog)
#include "tst_movetonotebookdialog.moc"
