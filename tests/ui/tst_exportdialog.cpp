#include "velmtest.h"

#include "exportdialog.h"

#include <QCheckBox>
#include <QRadioButton>

class TestExportDialog : public QObject
{
    Q_OBJECT

private:
    // On the indicator: a radio button only reacts to clicks on its indicator and text.
    static void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }

    static QRadioButton *button(ExportDialog &dialog, const QString &text)
    {
        for (QRadioButton *b : dialog.findChildren<QRadioButton *>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

private slots:
    void startsWithMarkdownAndNoAttachments()
    {
        ExportDialog dialog;
        QCOMPARE(dialog.format(), ExportFormat::Markdown);
        QVERIFY(!dialog.includeAttachments());
        QVERIFY(button(dialog, "Markdown (.md)")->isChecked());
    }

    void theCheckedButtonDecidesTheFormat()
    {
        ExportDialog dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        click(button(dialog, "HTML (.html)"));
        QCOMPARE(dialog.format(), ExportFormat::Html);
        click(button(dialog, "PDF (.pdf)"));
        QCOMPARE(dialog.format(), ExportFormat::Pdf);
        click(button(dialog, "Markdown (.md)"));
        QCOMPARE(dialog.format(), ExportFormat::Markdown);
        click(dialog.findChild<QCheckBox *>());
        QVERIFY(dialog.includeAttachments());
    }
};

VELM_TEST_MAIN(TestExportDialog)
#include "tst_exportdialog.moc"
