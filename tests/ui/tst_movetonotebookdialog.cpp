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
    void currentNotebookIsShownButCannotBeChosen()
    {
        MoveToNotebookDialog dialog(notebooks(), QStringLiteral("nb-2"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Move to Notebook"));
        QListWidget *list = dialog.list();
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts << list->item(row)->text();
        QCOMPARE(texts, (QStringList{"Work", "Home (current)", "Travel"}));
        QVERIFY(!(list->item(1)->flags() & Qt::ItemIsEnabled));
        QVERIFY(list->item(0)->flags() & Qt::ItemIsEnabled);
        QVERIFY(!ok(dialog)->isEnabled());

        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        list->setCurrentRow(1);
        QVERIFY(!ok(dialog)->isEnabled());
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
        for (const auto button : {QDialogButtonBox::Ok, QDialogButtonBox::Cancel}) {
            QTimer::singleShot(0, [button] {
                auto *dialog = qobject_cast<MoveToNotebookDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->list()->setCurrentRow(2);
                dialog->buttonBox()->button(button)->click();
            });
            QCOMPARE(MoveToNotebookDialog::choose(nullptr, notebooks(), QStringLiteral("nb-1")),
                     button == QDialogButtonBox::Ok ? QStringLiteral("nb-3") : QString());
        }
    }
};

VELM_TEST_MAIN(TestMoveToNotebookDialog)
#include "tst_movetonotebookdialog.moc"
