#include "velmtest.h"

#include "linkdialog.h"

#include <QLineEdit>

class TestLinkDialog : public QObject
{
    Q_OBJECT

private:
    static QList<QLineEdit *> fields(const LinkDialog &dialog)
    {
        // Text first, then URL, in layout order.
        QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
        std::sort(edits.begin(), edits.end(), [](QLineEdit *a, QLineEdit *b) { return a->y() < b->y(); });
        return edits;
    }

private slots:
    void withATextTheUrlIsFocusedAndSelected()
    {
        LinkDialog dialog(QStringLiteral("Edit Link"), QStringLiteral("docs"), QStringLiteral("https://x.example"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QList<QLineEdit *> edits = fields(dialog);
        QCOMPARE(edits.size(), 2);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit Link"));
        QCOMPARE(QApplication::focusWidget(), edits.at(1));
        QCOMPARE(edits.at(1)->selectedText(), QStringLiteral("https://x.example"));
        QVERIFY(edits.at(1)->minimumWidth() >= 360);
    }

    void withoutATextTheTextFieldIsFocused()
    {
        LinkDialog dialog(QStringLiteral("Insert Link"), QString(), QStringLiteral("https://"));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const QList<QLineEdit *> edits = fields(dialog);
        QCOMPARE(QApplication::focusWidget(), edits.at(0));
        QTest::keyClicks(edits.at(0), QStringLiteral("name"));
        edits.at(1)->setText(QStringLiteral("  example.org  "));
        QCOMPARE(dialog.text(), QStringLiteral("name"));
        QCOMPARE(dialog.url(), QStringLiteral("example.org"));
    }
};

VELM_TEST_MAIN(TestLinkDialog)
#include "tst_linkdialog.moc"
