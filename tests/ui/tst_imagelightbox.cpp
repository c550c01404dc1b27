#include "velmtest.h"

#include "imagelightbox.h"

#include <QGraphicsView>
#include <QLabel>

class TestImageLightbox : public QObject
{
    Q_OBJECT

private:
    static QImage image(int width, int height)
    {
        QImage img(width, height, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        return img;
    }

private slots:
    void initialSizeIsBounded_data()
    {
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<bool>("caption");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("tiny image") << QSize(10, 10) << false << QSize(1920, 1080) << QSize(480, 360);
        QTest::newRow("huge image, big screen") << QSize(4000, 3000) << false << QSize(3840, 2160)
                                                << QSize(1400, 900);
        QTest::newRow("huge image, small screen") << QSize(4000, 3000) << false << QSize(1280, 800)
                                                  << QSize(960, 600);
        QTest::newRow("no screen known") << QSize(4000, 3000) << true << QSize() << QSize(1400, 900);
        QTest::newRow("frame and caption") << QSize(600, 500) << true << QSize(1920, 1080) << QSize(616, 548);
        QTest::newRow("frame without caption") << QSize(600, 500) << false << QSize(1920, 1080)
                                               << QSize(616, 516);
    }
    void initialSizeIsBounded()
    {
        QFETCH(QSize, imageSize);
        QFETCH(bool, caption);
        QFETCH(QSize, screen);
        QFETCH(QSize, expected);
        QCOMPARE(ImageLightbox::initialSize(imageSize, caption, screen), expected);
    }

    void windowOpensWithinTheBounds()
    {
        ImageLightbox tiny(image(10, 10), QString());
        QCOMPARE(tiny.size(), QSize(480, 360));
        QCOMPARE(tiny.findChildren<QLabel *>().size(), 0);
        ImageLightbox huge(image(4000, 3000), QStringLiteral("photo.png"));
        QVERIFY(huge.width() <= 1400 && huge.height() <= 900);
        const QList<QLabel *> labels = huge.findChildren<QLabel *>();
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first()->text(), QStringLiteral("photo.png"));
    }

    // Fitting may settle on a slightly different scale once scroll bars have come and gone.
    static void verifyFits(const ImageLightbox &box, QSizeF imageSize)
    {
        const QSizeF shown = imageSize * box.zoom();
        const QSize viewport = box.view()->viewport()->size();
        QVERIFY(shown.width() <= viewport.width() + 1 && shown.height() <= viewport.height() + 1);
        QVERIFY(shown.width() >= viewport.width() * 0.9 || shown.height() >= viewport.height() * 0.9);
    }

    void keysAndWheelZoom()
    {
        ImageLightbox box(image(2000, 1500), QString());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const qreal fitted = box.zoom();
        QVERIFY(fitted < 1.0);
        verifyFits(box, QSizeF(2000, 1500));

        // The wheel scales instead of scrolling.
        QWidget *viewport = box.view()->viewport();
        const QPoint centre = viewport->rect().center();
        for (const int delta : {120, -120}) {
            QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
            QVERIFY(wheel.isAccepted());
            QVERIFY(qAbs(box.zoom() - (delta > 0 ? fitted * 1.15 : fitted)) < 1e-9);
        }

        QTest::keyClick(box.view(), Qt::Key_Plus);
        QCOMPARE(box.zoom(), fitted * 1.25);
        QTest::keyClick(box.view(), Qt::Key_Equal);
        QCOMPARE(box.zoom(), fitted * 1.25 * 1.25);
        QTest::keyClick(box.view(), Qt::Key_1);
        QCOMPARE(box.zoom(), 1.0);
        QTest::keyClick(box.view(), Qt::Key_Minus);
        QCOMPARE(box.zoom(), 0.8);
        QTest::keyClick(box.view(), Qt::Key_0);
        verifyFits(box, QSizeF(2000, 1500));

        // Escape closes it too (the editor's viewer test presses that).
        QTest::keyClick(box.view(), Qt::Key_Q);
        QTRY_VERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }
};

VELM_TEST_MAIN(TestImageLightbox)
#include "tst_imagelightbox.moc"
