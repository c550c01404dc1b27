#include "velmtest.h"

#include "inserttabledialog.h"

#include <QCheckBox>
#include <QSpinBox>

class TestInsertTableDialog : public QObject
{
    Q_OBJECT

private slots:
    void startsAtThreeByThreeWithAHeaderAndClampsTheSizes()
    {
        InsertTableDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Insert Table"));
        QCOMPARE(dialog.rows(), 3);
        QCOMPARE(dialog.columns(), 3);
        QVERIFY(dialog.headerRow());

        QList<QSpinBox *> spins = dialog.findChildren<QSpinBox *>();
        QCOMPARE(spins.size(), 2);
        std::sort(spins.begin(), spins.end(), [](QSpinBox *a, QSpinBox *b) { return a->maximum() > b->maximum(); });
        QSpinBox *rows = spins.at(0);
        QSpinBox *columns = spins.at(1);
        rows->setValue(1000);
        columns->setValue(1000);
        QCOMPARE(dialog.rows(), 100);
        QCOMPARE(dialog.columns(), 20);
        rows->setValue(0);
        columns->setValue(-4);
        QCOMPARE(dialog.rows(), 1);
        QCOMPARE(dialog.columns(), 1);

        QCheckBox *header = dialog.findChild<QCheckBox *>();
        QCOMPARE(header->text(), QStringLiteral("Include header row"));
        header->click();
        QVERIFY(!dialog.headerRow());
    }
};

VELM_TEST_MAIN(TestInsertTableDialog)
#include "tst_inserttabledialog.moc"
