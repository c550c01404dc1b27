#include "velmtest.h"

#include "../storage/storagefixture.h"

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
#include <QTextBlock>
#include <QTextDocument>

#include <memory>

using namespace StorageFixture;

class TestAttachmentRenderer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Database> m_db;
    std::unique_ptr<AttachmentRepository> m_repo;
    QString m_noteId;

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

    QString addAttachment(const QString &filename, const QString &mimeType, const QByteArray &bytes,
                          const QString &id = newId())
    {
        Attachment attachment;
        attachment.id = id;
        attachment.noteId = m_noteId;
        attachment.filename = filename;
        attachment.mimeType = mimeType;
        attachment.sizeBytes = bytes.size();
        attachment.createdAt = QDateTime::currentDateTimeUtc();
        if (!m_repo->saveFile(attachment.id, bytes) || !m_repo->insert(attachment))
            return {};
        return attachment.id;
    }

    static AttachmentRenderer::Lookup lookupIn(AttachmentRepository *repository)
    {
        return [repository](const QString &id) -> std::optional<AttachmentFile> {
            const std::optional<Attachment> record = repository->attachmentById(id);
            if (!record)
                return std::nullopt;
            return AttachmentFile{record->filename, record->mimeType, [repository, id] { return repository->readFile(id); }};
        };
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
        m_db = openFreshDatabase();
        QVERIFY(m_db);
        m_repo = std::make_unique<AttachmentRepository>(m_db.get());
        m_noteId = newId();
        QVERIFY(addNoteRow(*m_db, m_noteId));
    }
    void cleanup()
    {
        m_repo.reset();
        m_db.reset();
    }

    // Images wider than 560 are scaled down; the line gets 4 pixels more than the image.
    void imagesAreLaidOutAtMost560Wide_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide") << QSize(1200, 600) << QSize(560, 280);
        QTest::newRow("small") << QSize(300, 100) << QSize(300, 100);
    }
    void imagesAreLaidOutAtMost560Wide()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, shown);
        const QString id = addAttachment("wide.png", "image/png", png(image.width(), image.height()));
        QVERIFY(!id.isEmpty());
        AttachmentRenderer renderer(lookupIn(m_repo.get()));
        QCOMPARE(renderer.intrinsicSize(nullptr, 0, objectFormat(id)), QSizeF(shown.width(), shown.height() + 4));
        const AttachmentCacheEntry entry = renderer.lookup(id);
        QVERIFY(entry.isImage);
        QCOMPARE(entry.image.size(), shown);
        QCOMPARE(entry.filename, QStringLiteral("wide.png"));
    }

    void filesAndFailuresAreChips_data()
    {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pdf") << "report.pdf" << "application/pdf" << QByteArray("%PDF-1.4");
        QTest::newRow("undecodable image") << "broken.png" << "image/png" << QByteArray("not a png");
        QTest::newRow("upper-case image type is no image") << "shot.png" << "IMAGE/PNG" << png(50, 50);
        QTest::newRow("long name") << QString(80, 'n') + ".txt" << "text/plain" << QByteArray("x");
    }
    void filesAndFailuresAreChips()
    {
        QFETCH(QString, filename);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, bytes);
        const QString id = addAttachment(filename, mimeType, bytes);
        AttachmentRenderer renderer(lookupIn(m_repo.get()));
        const QSizeF size = renderer.intrinsicSize(nullptr, 0, objectFormat(id));
        const int expectedWidth = std::max(200, QFontMetrics(QGuiApplication::font()).horizontalAdvance(filename) + 48);
        QCOMPARE(size, QSizeF(expectedWidth, 36));
        QVERIFY(size.width() >= 200);
        QCOMPARE(AttachmentRenderer::isImageMimeType(mimeType), mimeType == "image/png");
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
        AttachmentRenderer renderer(lookupIn(m_repo.get()));
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
        AttachmentRenderer renderer(lookupIn(m_repo.get()));
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
        QVERIFY(!addAttachment("late.pdf", "application/pdf", "x", late).isEmpty());
        QVERIFY(renderer.lookup(late).filename.isEmpty());
        renderer.clearCache();
        QCOMPARE(renderer.lookup(late).filename, QStringLiteral("late.pdf"));
    }

    void drawsImageAndChip()
    {
        const QString imageId = addAttachment("pic.png", "image/png", png(20, 10));
        const QString fileId = addAttachment("report.pdf", "application/pdf", "%PDF");
        AttachmentRenderer renderer(lookupIn(m_repo.get()));

        QImage canvas(300, 60, QImage::Format_ARGB32);
        canvas.fill(Qt::white);
        {
            QPainter painter(&canvas);
            renderer.drawObject(&painter, QRectF(5, 5, 20, 14), nullptr, 0, objectFormat(imageId));
            renderer.drawObject(&painter, QRectF(50, 10, 220, 36), nullptr, 0, objectFormat(fileId));
        }
        QCOMPARE(canvas.pixelColor(10, 10), QColor(Qt::red));
        // The chip background fills its inside; the border runs along its edge.
        QCOMPARE(canvas.pixelColor(60, 20), codeBlockBackgroundColor());
        QCOMPARE(canvas.pixelColor(60, 47), QColor(Qt::white)); // two pixels left free below
    }

    void registeredRendererSizesTheObjectInLayout()
    {
        const QString id = addAttachment("wide.png", "image/png", png(1200, 600));
        DeltaDocument doc;
        AttachmentRenderer renderer(lookupIn(m_repo.get()));
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
