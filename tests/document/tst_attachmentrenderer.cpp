#include "velmtest.h"

#include "attachmentrenderer.h"
#include "attachmentrepository.h"
#include "database.h"
#include "deltadocument.h"
#include "dividerrenderer.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetrics>
#include <QPainter>
#include <QSqlQuery>
#include <QTextBlock>
#include <QTextDocument>
#include <QUuid>

#include <memory>

class TestAttachmentRenderer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AttachmentRepository> m_repo;
    QString m_noteId;

    static QString newId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

    static QByteArray png(int width, int height)
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

    QString addAttachment(const QString &filename, const QString &mimeType, const QByteArray &bytes)
    {
        Attachment attachment;
        attachment.id = newId();
        attachment.noteId = m_noteId;
        attachment.filename = filename;
        attachment.mimeType = mimeType;
        attachment.sizeBytes = bytes.size();
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        if (!m_repo->saveFile(attachment.id, bytes) || !m_repo->insert(attachment))
            return {};
        return attachment.id;
    }

    static QTextCharFormat objectFormat(const QString &id)
    {
        QTextCharFormat format;
        format.setObjectType(TextObject::Attachment);
        format.setProperty(TextProperty::ObjectUrl, QStringLiteral("velmora-notes://attachment/") + id);
        return format;
    }

private slots:
    void init()
    {
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(Database::dataDirectory() + "/" + newId() + ".db"));
        QVERIFY(m_db->migrate());
        m_repo = std::make_unique<AttachmentRepository>(m_db.get());
        m_noteId = newId();
        QSqlQuery q(m_db->database());
        QVERIFY(q.prepare("INSERT INTO notes (id, created_at, updated_at, modified_at) VALUES (?, 't', 't', 't')"));
        q.addBindValue(m_noteId);
        QVERIFY(q.exec());
    }
    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    void wideImageIsScaledTo560()
    {
        const QString id = addAttachment("wide.png", "image/png", png(1200, 600));
        QVERIFY(!id.isEmpty());
        AttachmentRenderer renderer(m_repo.get());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(560, 284));
        const AttachmentCacheEntry entry = renderer.lookup(id);
        QVERIFY(entry.isImage);
        QCOMPARE(entry.image.size(), QSize(560, 280));
        QCOMPARE(entry.filename, QStringLiteral("wide.png"));
    }

    void smallImageKeepsItsSize()
    {
        const QString id = addAttachment("small.png", "image/png", png(300, 100));
        AttachmentRenderer renderer(m_repo.get());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(300, 104));
    }

    void filesAndFailuresAreChips_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("label");
        QTest::newRow("pdf") << "report.pdf" << "application/pdf" << QByteArray("%PDF-1.4") << "report.pdf";
        QTest::newRow("undecodable image") << "broken.png" << "image/png" << QByteArray("not a png") << "broken.png";
        QTest::newRow("upper-case image type is no image")
            << "shot.png" << "IMAGE/PNG" << png(50, 50) << "shot.png";
        QTest::newRow("long name") << QString(80, 'n') + ".txt" << "text/plain" << QByteArray("x")
                                   << QString(80, 'n') + ".txt";
    }
    void filesAndFailuresAreChips()
    {
        QFETCH(QString, filename);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, label);
        const QString id = addAttachment(filename, mimeType, bytes);
        AttachmentRenderer renderer(m_repo.get());
        const QSizeF size = renderer.intrinsicSize(nullptr, 0, objectFormat(id));
        const int expectedWidth = std::max(200, QFontMetrics(QGuiApplication::font()).horizontalAdvance(label) + 48);
        QCOMPARE(size, QSizeF(expectedWidth, 36));
        QVERIFY(size.width() >= 200);
    }

    void unknownIdAndMissingRepositoryGiveTheAttachmentChip()
    {
        // A large font, so the label (not the 200 pixel minimum) decides the width.
        const QFont saved = QGuiApplication::font();
        QFont large = saved;
        large.setPixelSize(48);
        QGuiApplication::setFont(large);
        const int width = QFontMetrics(large).horizontalAdvance("Attachment") + 48;
        QVERIFY(width > 200);
        AttachmentRenderer renderer(m_repo.get());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(newId())), QSizeF(width, 36));
        QVERIFY(renderer.lookup(newId()).filename.isEmpty());

        const QString id = addAttachment("a.png", "image/png", png(10, 10));
        AttachmentRenderer detached(nullptr);
        QCOMPARE(detached.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(width, 36));
        QGuiApplication::setFont(saved);
    }

    void cacheAvoidsSecondReadUntilCleared()
    {
        const QString id = addAttachment("pic.png", "image/png", png(100, 50));
        AttachmentRenderer renderer(m_repo.get());
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(100, 54));

        // New bytes on disk are not seen while the entry is cached.
        QVERIFY(m_repo->saveFile(id, png(40, 20)));
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(100, 54));
        QCOMPARE(renderer.lookup(id).image.size(), QSize(100, 50));

        renderer.clearCache();
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(40, 24));

        // A missing attachment is remembered as missing until the cache is cleared.
        const QString late = newId();
        QVERIFY(renderer.lookup(late).filename.isEmpty());
        Attachment attachment;
        attachment.id = late;
        attachment.noteId = m_noteId;
        attachment.filename = "late.pdf";
        attachment.mimeType = "application/pdf";
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        QVERIFY(m_repo->saveFile(late, "x") && m_repo->insert(attachment));
        QVERIFY(renderer.lookup(late).filename.isEmpty());
        renderer.clearCache();
        QCOMPARE(renderer.lookup(late).filename, QStringLiteral("late.pdf"));
    }

    void drawsImageAndChip()
    {
        const QString imageId = addAttachment("pic.png", "image/png", png(20, 10));
        const QString fileId = addAttachment("report.pdf", "application/pdf", "%PDF");
        AttachmentRenderer renderer(m_repo.get());

        QImage canvas(300, 60, QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            renderer.drawObject(&painter, QRectF(5, 5, 20, 14), nullptr, 0, objectFormat(imageId));
            renderer.drawObject(&painter, QRectF(50, 10, 220, 36), nullptr, 0, objectFormat(fileId));
        }
        QCOMPARE(canvas.pixelColor(10, 10), QColor(Qt::red));
        // The chip background fills its inside; the border runs along its edge.
        QCOMPARE(canvas.pixelColor(60, 20), isDarkPalette() ? QColor("#2A2D31") : QColor("#ECEEF1"));
        QCOMPARE(canvas.pixelColor(60, 47), QColor(Qt::white)); // two pixels left free below
    }

    void isImageAttachmentIsCaseSensitive()
    {
        Attachment attachment;
        attachment.mimeType = "image/jpeg";
        QVERIFY(AttachmentRenderer::isImageAttachment(attachment));
        attachment.mimeType = "Image/jpeg";
        QVERIFY(!AttachmentRenderer::isImageAttachment(attachment));
        attachment.mimeType = "application/pdf";
        QVERIFY(!AttachmentRenderer::isImageAttachment(attachment));
    }

    void registeredRendererSizesTheObjectInLayout()
    {
        const QString id = addAttachment("wide.png", "image/png", png(1200, 600));
        DeltaDocument doc;
        AttachmentRenderer renderer(m_repo.get());
        doc.document()->documentLayout()->registerHandler(TextObject::Attachment, &renderer);
        doc.setJson(QStringLiteral(R"([{"insert":{"velmora-notes-attachment":"%1"}},{"insert":"\n"}])").arg(id));
        doc.document()->setTextWidth(800);
        const QRectF block = doc.document()->documentLayout()->blockBoundingRect(doc.document()->firstBlock());
        QVERIFY2(block.height() >= 284 && block.height() < 284 + 20, qPrintable(QString::number(block.height())));
    }

    void dividerIsAThinRuleAcrossTheLine()
    {
        DeltaDocument doc;
        DividerRenderer divider;
        doc.document()->documentLayout()->registerHandler(TextObject::Divider, &divider);
        doc.setJson(R"([{"insert":"above\n"},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"below\n"}])");
        const int position = doc.document()->findBlockByNumber(1).position();
        const QTextFormat format = doc.document()->findBlockByNumber(1).begin().fragment().charFormat();

        QCOMPARE(divider.intrinsicSize(doc.document(), position, format).width(), qreal(DividerRenderer::kFallbackWidth));
        doc.document()->setTextWidth(500);
        QCOMPARE(divider.intrinsicSize(doc.document(), position, format), QSizeF(500 - 32 - 1, DividerRenderer::kHeight));
        const QRectF line = doc.document()->documentLayout()->blockBoundingRect(doc.document()->findBlockByNumber(1));
        QVERIFY(line.height() >= DividerRenderer::kHeight);
        QCOMPARE(doc.document()->blockCount(), 3);

        QImage canvas(100, DividerRenderer::kHeight, QImage::Format_ARGB32);
        canvas.fill(Qt::transparent);
        {
            QPainter painter(&canvas);
            divider.drawObject(&painter, QRectF(0, 0, 100, DividerRenderer::kHeight), doc.document(), position, format);
        }
        QVERIFY(canvas.pixelColor(50, DividerRenderer::kHeight / 2).alpha() > 0);
        QCOMPARE(canvas.pixelColor(50, 1).alpha(), 0);
        // Drawing leaves the body untouched.
        QCOMPARE(doc.toJson(), QStringLiteral(R"([{"insert":"above"},{"insert":"\n"},{"insert":{"divider":"hr"}},{"insert":"\n"},{"insert":"below"},{"insert":"\n"}])"));
    }
};

VELM_TEST_MAIN(TestAttachmentRenderer)
#include "tst_attachmentrenderer.moc"
