#include "velmtest.h"

#include "attachmentrenderer.h"
#include "delta.h"
#include "deltadocument.h"
#include "dividerrenderer.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QPainter>
#include <QTextBlock>

namespace {

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QTextCharFormat objectFormat(const QString &id)
{
    QTextCharFormat format;
    format.setObjectType(TextObject::Attachment);
    format.setProperty(TextProperty::ObjectUrl, attachmentUrl(id));
    return format;
}

} // namespace

class TestAttachmentRenderer : public QObject
{
    Q_OBJECT

    // The attachment store: id -> file, with a count of byte reads.
    QMap<QString, AttachmentFile> m_files;
    int m_reads = 0;

    void add(const QString &id, const QString &filename, const QString &mimeType, const QByteArray &bytes)
    {
        m_files[id] = AttachmentFile{filename, mimeType, [this, bytes] { ++m_reads; return bytes; }};
    }
    AttachmentRenderer::Lookup lookup()
    {
        return [this](const QString &id) -> std::optional<AttachmentFile> {
            if (!m_files.contains(id))
                return std::nullopt;
            return m_files.value(id);
        };
    }

private slots:
    void init()
    {
        m_files.clear();
        m_reads = 0;
    }

    // Wide images are scaled down, keeping their shape; the line is 4 pixels taller.
    void imagesAreShownAtMost560Wide_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide") << QSize(1200, 600) << QSize(560, 280);
        QTest::newRow("small") << QSize(300, 100) << QSize(300, 100);
    }
    void imagesAreShownAtMost560Wide()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, shown);
        add("a", "wide.png", "image/png", png(image.width(), image.height()));
        AttachmentRenderer renderer(lookup());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat("a")), QSizeF(shown.width(), shown.height() + 4));
        QVERIFY(renderer.lookup("a").isImage);
        QCOMPARE(renderer.lookup(attachmentUrl("a")).image.size(), shown);
    }

    // Anything that cannot be shown as an image is a chip wide enough for its label.
    void everythingElseIsAChip_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("label");
        QTest::newRow("pdf") << "report.pdf" << "application/pdf" << QByteArray("%PDF-1.4") << "report.pdf";
        QTest::newRow("undecodable image") << "broken.png" << "image/png" << QByteArray("not a png") << "broken.png";
        QTest::newRow("upper-case image type is no image") << "shot.png" << "IMAGE/PNG" << png(50, 50) << "shot.png";
        QTest::newRow("long name") << QString(80, 'n') + ".txt" << "text/plain" << QByteArray("x") << QString(80, 'n') + ".txt";
        QTest::newRow("unknown id") << QString() << "" << QByteArray() << "Attachment";
        QTest::newRow("no lookup") << "a.png" << "image/png" << png(10, 10) << "Attachment";
    }
    void everythingElseIsAChip()
    {
        QFETCH(QString, filename);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, label);
        if (!filename.isEmpty())
            add("a", filename, mimeType, bytes);
        // A large font, so that the label and not the least width decides.
        const QFont saved = QGuiApplication::font();
        QFont large = saved;
        large.setPixelSize(40);
        QGuiApplication::setFont(large);
        AttachmentRenderer renderer(QByteArray(QTest::currentDataTag()) == "no lookup" ? nullptr : lookup());
        const qreal width = renderer.intrinsicSize(nullptr, 0, objectFormat("a")).width();
        QVERIFY2(width > QFontMetrics(large).horizontalAdvance(label), qPrintable(QString::number(width)));
        QVERIFY(renderer.lookup("a").image.isNull());
        QGuiApplication::setFont(saved);
    }

    void entriesAreReadOnceUntilTheCacheIsCleared()
    {
        add("a", "pic.png", "image/png", png(100, 50));
        AttachmentRenderer renderer(lookup());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat("a")), QSizeF(100, 54));
        add("a", "pic.png", "image/png", png(40, 20));
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat("a")), QSizeF(100, 54));
        QCOMPARE(m_reads, 1);
        renderer.clearCache();
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat("a")), QSizeF(40, 24));

        // A missing attachment is remembered as missing until the cache is cleared.
        QVERIFY(renderer.lookup("late").filename.isEmpty());
        add("late", "late.pdf", "application/pdf", "x");
        QVERIFY(renderer.lookup("late").filename.isEmpty());
        renderer.clearCache();
        QCOMPARE(renderer.lookup("late").filename, QStringLiteral("late.pdf"));
    }

    void objectsAreLaidOutAndDrawnWithoutTouchingTheBody()
    {
        add("a", "wide.png", "image/png", png(1200, 600));
        DeltaDocument doc;
        AttachmentRenderer renderer(lookup());
        DividerRenderer divider;
        doc.document()->documentLayout()->registerHandler(TextObject::Attachment, &renderer);
        doc.document()->documentLayout()->registerHandler(TextObject::Divider, &divider);
        const QString body = R"([{"insert":{"velmora-notes-attachment":"velmora-notes://attachment/a"}},{"insert":"\n"},)"
                             R"({"insert":{"divider":"hr"}},{"insert":"\n"}])";
        doc.setJson(body);
        doc.document()->setTextWidth(800);
        const QRectF image = doc.document()->documentLayout()->blockBoundingRect(doc.document()->firstBlock());
        QVERIFY2(image.height() >= 284 && image.height() < 284 + 20, qPrintable(QString::number(image.height())));

        // The rule spans the text width, whatever it is.
        const QTextBlock rule = doc.document()->findBlockByNumber(1);
        const QTextFormat format = rule.begin().fragment().charFormat();
        const qreal wide = divider.intrinsicSize(doc.document(), rule.position(), format).width();
        doc.document()->setTextWidth(400);
        QCOMPARE(divider.intrinsicSize(doc.document(), rule.position(), format).width(), wide - 400);

        QImage canvas(100, 40, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            renderer.drawObject(&painter, QRectF(5, 5, 20, 14), doc.document(), 0, objectFormat("a"));
        }
        QCOMPARE(canvas.pixelColor(10, 10), QColor(Qt::red));
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            divider.drawObject(&painter, QRectF(0, 0, 100, DividerRenderer::kHeight), doc.document(), rule.position(), format);
        }
        QVERIFY(canvas.pixelColor(50, DividerRenderer::kHeight / 2).alpha() > 0);
        QCOMPARE(canvas.pixelColor(50, 1).alpha(), 0);
        QCOMPARE(doc.toJson(), body);
    }
};

VELM_TEST_MAIN(TestAttachmentRenderer)
#include "tst_attachmentrenderer.moc"
