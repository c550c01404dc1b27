#include "velmtest.h"

#include "imagelightbox.h"
#include "lineicons.h"
#include "editortoolbar.h"
#include "noteeditor.h"
#include "noteheaderbar.h"
#include "thememanager.h"
#include "uitestkit.h"

#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

// The note header bar, the line icons and the image viewer.
class TestWidgets : public QObject
{
    Q_OBJECT

private:
    static QAction *menuAction(NoteHeaderBar &bar, const char *button, const QString &text)
    {
        return VelmTest::findAction(bar.findChild<QToolButton *>(QLatin1String(button))->menu()->actions(), text);
    }
    // Fitting may settle on a slightly different scale once scroll bars have come and gone.
    static void verifyFits(const ImageLightbox &box, QSizeF imageSize)
    {
        const QSizeF shown = imageSize * box.zoom();
        const QSize viewport = box.view()->viewport()->size();
        QVERIFY(shown.width() <= viewport.width() + 1 && shown.height() <= viewport.height() + 1);
        QVERIFY(shown.width() >= viewport.width() * 0.9 || shown.height() >= viewport.height() * 0.9);
    }

private slots:
    void includeInTodosFromCodeIsSilentFromMenuSignals()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        QSignalSpy spy(&bar, &NoteHeaderBar::includeInTodosToggled);
        bar.setIncludeInTodos(true);
        bar.setIncludeInTodos(false);
        QCOMPARE(spy.count(), 0);

        menuAction(bar, "moreButton", QStringLiteral("Include in To-Dos"))->trigger();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
    }

    void shareButtonFollowsCanShareAndEditable()
    {
        NoteHeaderBar bar;
        auto *share = bar.findChild<QToolButton *>(QStringLiteral("shareButton"));
        bar.setEditable(true);
        QVERIFY(share->isHidden()); // sharing impossible: hidden even when editable

        bar.setCanShare(true);
        QVERIFY(!share->isHidden() && share->isEnabled());

        bar.setEditable(false); // read-only shared note
        QVERIFY(!share->isHidden() && !share->isEnabled());
    }

    void notEditableClearsMetaAndDisablesActions()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        bar.setMetaText(QStringLiteral("Updated just now · 3 words"));
        for (const char *name : {"copyButton", "historyButton", "moreButton"})
            QVERIFY(bar.findChild<QToolButton *>(QLatin1String(name))->isEnabled());
        bar.setEditable(false);
        QCOMPARE(bar.findChild<QLabel *>(QStringLiteral("metaLabel"))->text(), QString());
        QVERIFY(!bar.findChild<QPushButton *>(QStringLiteral("notebookChip"))->isEnabled());
        for (const char *name : {"copyButton", "historyButton", "moreButton"})
            QVERIFY(!bar.findChild<QToolButton *>(QLatin1String(name))->isEnabled());
    }

    void buttonsAndMenusEmitTheirRequests()
    {
        NoteHeaderBar bar;
        bar.setEditable(true);
        QSignalSpy focus(&bar, &NoteHeaderBar::focusToggleClicked);
        QSignalSpy chip(&bar, &NoteHeaderBar::notebookChipClicked);
        QSignalSpy history(&bar, &NoteHeaderBar::historyRequested);
        QSignalSpy markdown(&bar, &NoteHeaderBar::copyAsMarkdownRequested);
        QSignalSpy trash(&bar, &NoteHeaderBar::deleteRequested);
        QSignalSpy move(&bar, &NoteHeaderBar::moveToNotebookRequested);

        QTest::mouseClick(bar.findChild<QToolButton *>(QStringLiteral("focusToggle")), Qt::LeftButton);
        QTest::mouseClick(bar.findChild<QPushButton *>(QStringLiteral("notebookChip")), Qt::LeftButton);
        QTest::mouseClick(bar.findChild<QToolButton *>(QStringLiteral("historyButton")), Qt::LeftButton);
        menuAction(bar, "copyButton", QStringLiteral("Copy as Markdown"))->trigger();
        menuAction(bar, "moreButton", QStringLiteral("Move to Trash"))->trigger();
        QCOMPARE((QList<qsizetype>{focus.count(), chip.count(), history.count(), markdown.count(), trash.count(),
                                   move.count()}),
                 (QList<qsizetype>{1, 1, 1, 1, 1, 0}));
    }

    // The formatting and header icons grow with the text size while the
    // windows are open, keeping their proportion to the text.
    void iconsGrowWithTheText()
    {
        ThemeManager theme(nullptr);
        theme.setFontScale(100);
        EditorToolbar toolbar;
        NoteHeaderBar bar;
        const auto proportions = [&] {
            QCoreApplication::processEvents();
            const qreal text = QFontMetricsF(QApplication::font()).height();
            auto *history = bar.findChild<QToolButton *>(QStringLiteral("historyButton"));
            return std::pair{toolbar.iconSize().height() / text, history->iconSize().height() / text};
        };
        const auto before = proportions();
        theme.setFontScale(160);
        const auto after = proportions();
        theme.setFontScale(100);
        QVERIFY2(std::abs(after.first - before.first) < 0.15 && std::abs(after.second - before.second) < 0.15,
                 qPrintable(QStringLiteral("toolbar %1 → %2, header %3 → %4")
                                .arg(before.first).arg(after.first).arg(before.second).arg(after.second)));
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

    void initialSizeIsBounded_data()
    {
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<bool>("caption");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("tiny image") << QSize(10, 10) << false << QSize(1920, 1080) << QSize(480, 360);
        QTest::newRow("huge image, small screen") << QSize(4000, 3000) << false << QSize(1280, 800)
                                                  << QSize(960, 600);
        QTest::newRow("no screen known") << QSize(4000, 3000) << true << QSize() << QSize(1400, 900);
    }
    void initialSizeIsBounded()
    {
        QFETCH(QSize, imageSize);
        QFETCH(bool, caption);
        QFETCH(QSize, screen);
        QFETCH(QSize, expected);
        QCOMPARE(ImageLightbox::initialSize(imageSize, caption, screen), expected);
    }

    void keysAndWheelZoom()
    {
        QImage picture(2000, 1500, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        ImageLightbox box(picture, QString());
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
        QVERIFY(box.zoom() > fitted);
        QTest::keyClick(box.view(), Qt::Key_1);
        QCOMPARE(box.zoom(), 1.0);
        QTest::keyClick(box.view(), Qt::Key_Minus);
        QVERIFY(box.zoom() < 1.0);
        QTest::keyClick(box.view(), Qt::Key_0);
        verifyFits(box, QSizeF(2000, 1500));

        // Escape closes it too (the editor's viewer test presses that).
        QTest::keyClick(box.view(), Qt::Key_Q);
        QTRY_VERIFY(!box.isVisible());
        QCOMPARE(box.result(), int(QDialog::Accepted));
    }
};

VELM_TEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
