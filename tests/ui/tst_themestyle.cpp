#include "velmtest.h"

#include "themestyle.h"
#include "thememanager.h"

#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>

// The application's style over each theme's palette.
class TestThemeStyle : public QObject
{
    Q_OBJECT

private:
    static double luminance(QRgb rgb)
    {
        const auto linear = [](int channel) {
            const double c = channel / 255.0;
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
    }
    static double contrast(QRgb a, QRgb b)
    {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    }
    // The strongest contrast any painted pixel has with the background, taken
    // from the top-right corner, where nothing but background is painted.
    static double strongestContrast(const QImage &image)
    {
        const QRgb background = image.pixel(image.width() - 1, 0);
        double best = 1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                best = std::max(best, contrast(image.pixel(x, y), background));
        return best;
    }

private slots:
    void initTestCase() { QApplication::setStyle(new ThemeStyle); }

    // An empty indicator is all outline and fill: that is what must show.
    void uncheckedIndicatorsStandOutFromTheirBackground_data()
    {
        QTest::addColumn<int>("theme");
        QTest::addColumn<QString>("kind");
        for (const auto &[name, theme] : {std::pair{"light", ThemeManager::Light}, {"dark", ThemeManager::Dark}})
            for (const char *kind : {"check box", "radio button", "list item"})
                QTest::addRow("%s %s", name, kind) << int(theme) << QString::fromLatin1(kind);
    }
    void uncheckedIndicatorsStandOutFromTheirBackground()
    {
        QFETCH(int, theme);
        QFETCH(QString, kind);
        ThemeManager manager(nullptr);
        manager.applyTheme(ThemeManager::Theme(theme));
        QImage image;
        if (kind == "list item") {
            QListWidget list;
            list.resize(120, 60);
            auto *item = new QListWidgetItem(&list);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            const QRect row = list.visualItemRect(item);
            image = list.viewport()->grab(row.adjusted(0, 0, 40, 0)).toImage();
        } else {
            std::unique_ptr<QAbstractButton> button;
            if (kind == "check box")
                button = std::make_unique<QCheckBox>();
            else
                button = std::make_unique<QRadioButton>();
            button->resize(60, 30);
            image = button->grab().toImage();
        }
        QVERIFY(!image.isNull());
        const double measured = strongestContrast(image);
        QVERIFY2(measured >= 3.0, qPrintable(QString::number(measured, 'f', 2)));
    }

    // Switched in this order while running: each tooltip shown afterwards is
    // drawn in the theme's colours and reads.
    void tooltipsFollowTheTheme_data()
    {
        QTest::addColumn<int>("theme");
        QTest::newRow("light") << int(ThemeManager::Light);
        QTest::newRow("dark") << int(ThemeManager::Dark);
        QTest::newRow("light again") << int(ThemeManager::Light);
    }
    void tooltipsFollowTheTheme()
    {
        QFETCH(int, theme);
        // What a desktop's platform theme hands Qt for tooltips at start-up.
        QPalette platform;
        platform.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
        platform.setColor(QPalette::ToolTipText, Qt::black);
        QToolTip::setPalette(platform);
        ThemeManager manager(nullptr);
        manager.applyTheme(ThemeManager::Theme(theme));
        QWidget anchor;
        anchor.show();
        QToolTip::showText(anchor.mapToGlobal(QPoint(5, 5)), QStringLiteral("Offline: the server does not answer"), &anchor);
        QWidget *tip = nullptr;
        QTRY_VERIFY((tip = [] {
            for (QWidget *widget : QApplication::topLevelWidgets())
                if (widget->inherits("QTipLabel") && widget->isVisible())
                    return widget;
            return static_cast<QWidget *>(nullptr);
        }()));
        const QImage image = tip->grab().toImage();
        const QRgb background = image.pixel(image.width() / 2, 2);
        const QColor expected = QApplication::palette().color(QPalette::ToolTipBase);
        QVERIFY2(contrast(background, expected.rgb()) < 1.1,
                 qPrintable(QColor(background).name() + " drawn, " + expected.name() + " wanted"));
        QVERIFY(strongestContrast(image) >= 4.5);
        QToolTip::hideText();
        QTRY_VERIFY(!tip->isVisible());
    }
};

VELM_TEST_MAIN(TestThemeStyle)
#include "tst_themestyle.moc"
