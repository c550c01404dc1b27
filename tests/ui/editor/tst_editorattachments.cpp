#include "editorfixture.h"

#include "attachmenttempfolder.h"
#include "imagelightbox.h"
#include "textformat.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QHelpEvent>
#include <QJsonDocument>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextTable>
#include <QToolTip>

// Files and pictures in a note: inserted, dropped, pasted, opened and saved.
class TestEditorAttachments : public QObject, protected EditorFixture
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void insertingAFileStoresBytesRowAndObjectUnlessItIsEmptyOrUnreadable()
    {
        load({line("text")});
        editor().moveCursor(QTextCursor::End);
        // Without a repository, from an empty or unreadable file, or without a note: nothing.
        QVERIFY(!editor().insertAttachmentFromPath(writeFile("a.txt", "a")));
        attach();
        QVERIFY(!editor().insertAttachmentFromPath(writeFile("empty.txt", "")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("insertAttachmentFromPath: can't open"));
        QVERIFY(!editor().insertAttachmentFromPath(m_files.path() + "/missing.txt"));
        QCOMPARE(delta(), body({line("text")}));
        QCOMPARE(attachmentRows(), 0);

        QVERIFY(editor().insertAttachmentFromPath(writeFile("notes.txt", "file bytes")));
        QVERIFY(!editor().isSaved());
        const QString id = insertedAttachmentId();
        const std::optional<Attachment> record = m_attachments->attachmentById(id);
        QVERIFY(record);
        QCOMPARE(record->noteId, QStringLiteral("note-1"));
        QCOMPARE(record->mimeType, QStringLiteral("text/plain"));
        QCOMPARE(m_attachments->readFile(id), QByteArray("file bytes"));
        QCOMPARE(delta(), body({R"({"insert":"text"})",
                                QStringLiteral("{\"insert\":{\"velmora-notes-attachment\":\"velmora-notes://attachment/%1\"}}")
                                    .arg(id),
                                line({}), line({})}));
        editor().clearNote();
        QVERIFY(!editor().insertAttachmentFromPath(writeFile("b.txt", "b")));
        QCOMPARE(attachmentRows(), 1);
    }

    void droppedAndPastedFilesAndPicturesBecomeAttachments()
    {
        attach();
        load({line("drop here")});
        QVERIFY(exposed());
        // Of two dropped files only the readable one arrives.
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_files.path() + "/gone.bin"),
                      QUrl::fromLocalFile(writeFile("photo.png", "not really a png"))});
        const QPoint at = pointAt(4);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(editor().viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("insertAttachmentFromPath: can't open"));
        QApplication::sendEvent(editor().viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(attachmentRows(), 1);
        QCOMPARE(blockTexts().first(), QStringLiteral("drop") + QChar::ObjectReplacementCharacter);

        // Pasted file URLs become attachments, not text.
        auto *files = new QMimeData;
        files->setUrls({QUrl::fromLocalFile(writeFile("one.txt", "1")), QUrl::fromLocalFile(writeFile("two.txt", "22"))});
        files->setText(QStringLiteral("file:///somewhere"));
        QVERIFY(offer(files));
        paste();
        QCOMPARE(attachmentRows(), 3);
        QVERIFY(!editor().toPlainText().contains("file:"));

        QImage picture(8, 6, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        auto *image = new QMimeData;
        image->setImageData(picture);
        QVERIFY(offer(image));
        paste();
        const QString id = scalar(*m_db, "SELECT id FROM attachments WHERE filename = 'image.png'").toString();
        QCOMPARE(QImage::fromData(m_attachments->readFile(id)).size(), QSize(8, 6));
        QCOMPARE(delta().count("velmora-notes-attachment"), 4);
    }

    void attachmentCopiesArePrivateAndAskBeforeRunning_data()
    {
        QTest::addColumn<QString>("recordedName");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("asks");
        QTest::newRow("ordinary") << "report.pdf" << "report.pdf" << false;
        QTest::newRow("climbing script") << "../../../evil.sh" << "evil.sh" << true;
        QTest::newRow("nothing left") << "../.." << "@.bin" << true;
    }
    void attachmentCopiesArePrivateAndAskBeforeRunning()
    {
        QFETCH(QString, recordedName);
        QFETCH(QString, fileName);
        QFETCH(bool, asks);
        attach();
        load({line({})});
        QVERIFY(editor().insertAttachmentBytes(recordedName, "application/octet-stream", "bytes"));
        const QString id = insertedAttachmentId();
        const QString folder = attachmentTempFolder() + '/' + id;
        const QString path = folder + '/' + fileName.replace("@", id);
        // A link planted where the copy goes must not be written through.
        const QString victim = m_files.path() + "/victim";
        QFile(victim).open(QIODevice::WriteOnly);
        QDir().mkpath(folder);
        QVERIFY(QFile::link(victim, path));

        // Refused: nothing is written or opened.
        QCOMPARE(editor().openAttachment(id, recordedName), !asks);
        QCOMPARE(m_seen.asked.size() == 1 && m_seen.asked.first().contains(fileName), asks);
        m_seen.confirmAnswer = true;
        QVERIFY(editor().openAttachment(id, recordedName));
        QCOMPARE(m_seen.opened.last(), QUrl::fromLocalFile(path));
        QCOMPARE(QFileInfo(victim).size(), 0);
        QVERIFY(!QFileInfo(path).isSymLink());
        const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
            | QFile::WriteOther | QFile::ExeOther;
        for (const QString &made : {path, attachmentTempFolder()})
            QCOMPARE(QFileInfo(made).permissions() & others, QFileDevice::Permissions());
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), QByteArray("bytes"));
        editor().copyAttachmentFile(id, recordedName);
        QCOMPARE(m_seen.clipboardUrls, (QList<QUrl>{QUrl::fromLocalFile(path)}));
    }

    // The pointer and the tool tip say what a click would open.
    void hoveringShowsWhatAClickOpens_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("shape");
        QTest::addColumn<QString>("tip");
        const QString link = QStringLiteral("https://x.example\n(Ctrl+click to open)");
        QTest::newRow("text") << 1 << true << int(Qt::IBeamCursor) << "";
        QTest::newRow("link") << 5 << false << int(Qt::IBeamCursor) << link;
        QTest::newRow("link, Ctrl") << 5 << true << int(Qt::PointingHandCursor) << link;
        QTest::newRow("attachment") << 7 << false << int(Qt::PointingHandCursor)
                                    << "a.txt (0.0 KB)\n(Double-click to open, right-click for more)";
    }
    void hoveringShowsWhatAClickOpens()
    {
        QFETCH(int, position);
        QFETCH(bool, ctrl);
        QFETCH(int, shape);
        QFETCH(QString, tip);
        attach();
        load({R"({"insert":"ab "})", linked("link"), line({})});
        editor().moveCursor(QTextCursor::End);
        QVERIFY(editor().insertAttachmentFromPath(writeFile("a.txt", "a")));
        QVERIFY(exposed());
        const QPoint at = pointAt(position);
        QMouseEvent move(QEvent::MouseMove, at, editor().viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         ctrl ? Qt::ControlModifier : Qt::NoModifier);
        QApplication::sendEvent(editor().viewport(), &move);
        QCOMPARE(int(editor().viewport()->cursor().shape()), shape);
        QHelpEvent help(QEvent::ToolTip, at, editor().viewport()->mapToGlobal(at));
        QApplication::sendEvent(editor().viewport(), &help);
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tip);
    }

    void attachmentsOpenOutsideOrInTheViewerAndTheirMenuSavesAndRemoves()
    {
        attach();
        load({line({})});
        // The Attachment command's file dialog answers with a picture.
        QImage red(40, 30, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString picture = m_files.path() + "/red.png";
        QVERIFY(red.save(picture));
        editor().hooks().askOpenFile = [picture] { return picture; };
        QTest::keyClick(&editor(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(editor().insertAttachmentFromPath(writeFile("data.csv", "a,b\n1,2\n")));
        const QString csv = editor().attachmentIdAt(2);
        QVERIFY(!csv.isEmpty());
        QVERIFY(exposed());

        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, pointAt(2));
        QCOMPARE(m_seen.opened, (QList<QUrl>{QUrl::fromLocalFile(attachmentTempFolder() + '/' + csv + "/data.csv")}));
        QTest::mouseDClick(editor().viewport(), Qt::LeftButton, {}, pointAt(0));
        QPointer<ImageLightbox> lightbox = editor().findChild<ImageLightbox *>();
        QVERIFY(lightbox && lightbox->isVisible());
        QCOMPARE(m_seen.opened.size(), 1);
        QTest::keyClick(lightbox->view(), Qt::Key_Escape);
        QTRY_VERIFY(!lightbox);

        const QString target = m_files.path() + "/saved.csv";
        editor().hooks().askSaveFile = [&](const QString &) { return target; };
        QVERIFY(runMenu(QStringLiteral("Save As…"), pointAt(2)));
        QFile saved(target);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("a,b\n1,2\n"));
        QVERIFY(runMenu(QStringLiteral("Remove Attachment"), pointAt(2)));
        QVERIFY(!delta().contains(csv));
        QVERIFY(!m_attachments->attachmentById(csv));
        QVERIFY(!QFile::exists(AttachmentRepository::filePath(csv)));
    }
};

VELM_TEST_MAIN(TestEditorAttachments)
#include "tst_editorattachments.moc"
