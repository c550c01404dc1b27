#include "velmtest.h"

#include "notebookdialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

class TestNotebookDialog : public QObject
{
    Q_OBJECT

private:
    static QPushButton *okButton(const NotebookDialog &dialog)
    {
        return dialog.buttonBox()->button(QDialogButtonBox::Ok);
    }

    // Runs fn on the modal dialog that the static operation opens.
    template<typename Fn>
    static void whenDialogOpens(Fn fn)
    {
        QTimer::singleShot(0, [fn] {
            auto *dialog = qobject_cast<NotebookDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            fn(dialog);
        });
    }

private slots:
    void okFollowsTheTrimmedName_data()
    {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<bool>("initiallyEnabled");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabledAfterTyping");
        QTest::newRow("new, typed a name") << QString() << false << "Work" << true;
        QTest::newRow("new, typed spaces") << QString() << false << "   " << false;
        QTest::newRow("rename to spaces only") << "Home" << true << "  " << false;
        QTest::newRow("rename of an empty name") << QString() << false << " x " << true;
    }
    void okFollowsTheTrimmedName()
    {
        QFETCH(QString, initial);
        QFETCH(bool, initiallyEnabled);
        QFETCH(QString, typed);
        QFETCH(bool, enabledAfterTyping);

        NotebookDialog dialog(QStringLiteral("Rename Notebook"), initial);
        QCOMPARE(okButton(dialog)->isEnabled(), initiallyEnabled);
        // The initial name is selected, so typing replaces it.
        QCOMPARE(dialog.nameEdit()->selectedText(), initial);
        QTest::keyClicks(dialog.nameEdit(), typed);
        QCOMPARE(dialog.nameEdit()->text(), typed);
        QCOMPARE(okButton(dialog)->isEnabled(), enabledAfterTyping);
    }

    void fieldShowsPlaceholderAndTitle()
    {
        NotebookDialog dialog(QStringLiteral("New Notebook"), QString());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("New Notebook"));
        QCOMPARE(dialog.nameEdit()->placeholderText(), QStringLiteral("Notebook name"));
        QVERIFY(dialog.minimumWidth() >= 350);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.nameEdit());
    }

    void staticCallsAnswerTheTrimmedNameOrNothing()
    {
        whenDialogOpens([](NotebookDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("New Notebook"));
            QTest::keyClicks(dialog->nameEdit(), QStringLiteral("  Recipes  "));
            okButton(*dialog)->click();
        });
        QCOMPARE(NotebookDialog::getNewName(nullptr), QStringLiteral("Recipes"));

        whenDialogOpens([](NotebookDialog *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Rename Notebook"));
            QCOMPARE(dialog->nameEdit()->text(), QStringLiteral("Old"));
            QTest::keyClicks(dialog->nameEdit(), QStringLiteral("New"));
            dialog->buttonBox()->button(QDialogButtonBox::Cancel)->click();
        });
        QCOMPARE(NotebookDialog::getRename(nullptr, QStringLiteral("Old")), QString());
    }
};

VELM_TEST_MAIN(TestNotebookDialog)
#include "tst_notebookdialog.moc"
