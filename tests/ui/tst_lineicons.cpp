#include "velmtest.h"

#include "lineicons.h"

#include <QImage>
#include <QPainter>

class TestLineIcons : public QObject
{
    Q_OBJECT

private:
    static QRect inkBounds(const QImage &image)
    {
        QRect bounds;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) > 0)
                    bounds |= QRect(x, y, 1, 1);
            }
        }
        return bounds;
    }

private slots:
    void everyIconDrawsInsideItsBox_data()
    {
        QTest::addColumn<int>("icon");
        const char *names[] = {"Person", "Cloud", "Warning", "AllNotes", "Notebook", "Trash", "Plus",
                               "SidebarShown", "SidebarHidden", "Copy", "Share", "History", "More"};
        for (int i = 0; i <= int(LineIcon::More); ++i)
            QTest::newRow(names[i]) << i;
    }
    void everyIconDrawsInsideItsBox()
    {
        QFETCH(int, icon);
        QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            paintLineIcon(painter, LineIcon(icon), QRectF(12, 12, 16, 16), Qt::black);
        }
        const QRect ink = inkBounds(image);
        // The pen may reach a pixel beyond the grid, never further; a real glyph spans a good part of the box.
        QVERIFY(QRect(11, 11, 18, 18).contains(ink));
        QVERIFY(ink.width() >= 8 || ink.height() >= 8);
    }

    void iconsAreDistinctAndTakeTheGivenColour()
    {
        QList<QImage> seen;
        for (int i = 0; i <= int(LineIcon::More); ++i) {
            const QImage image = lineIcon(LineIcon(i), Qt::red, QSize(18, 18)).pixmap(QSize(18, 18), 2.0).toImage();
            QVERIFY(!seen.contains(image));
            seen << image;
        }
        bool red = false;
        for (int y = 0; y < seen.first().height() && !red; ++y) {
            for (int x = 0; x < seen.first().width() && !red; ++x) {
                const QColor c = seen.first().pixelColor(x, y);
                red = c.alpha() == 255 && c.red() == 255 && c.green() == 0;
            }
        }
        QVERIFY(red);
    }
};

VELM_TEST_MAIN(TestLineIcons)
#include "tst_lineicons.moc"
