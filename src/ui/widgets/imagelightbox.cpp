#include "imagelightbox.h"

#include "thememanager.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

class ZoomableView final : public QGraphicsView
{
public:
    explicit ZoomableView(QGraphicsScene *scene, QWidget *parent = nullptr)
        : QGraphicsView(scene, parent)
    {
    }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        const int delta = event->angleDelta().y();
        if (delta == 0) {
            QGraphicsView::wheelEvent(event);
            return;
        }
        const qreal factor = delta > 0 ? 1.15 : 1.0 / 1.15;
        scale(factor, factor);
        event->accept();
    }
};

} // namespace

ImageLightbox::ImageLightbox(const QImage &image, const QString &caption, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Image"));
    setModal(true);
    setWindowFlags(windowFlags() | Qt::Dialog);
    const QColor background = ThemeManager::colour(ThemeManager::Colour::ViewerBackground, palette());
    setStyleSheet(QStringLiteral("QDialog { background-color: %1; }").arg(background.name()));

    m_scene = new QGraphicsScene(this);
    m_item = m_scene->addPixmap(QPixmap::fromImage(image));
    m_scene->setSceneRect(m_item->boundingRect());

    m_view = new ZoomableView(m_scene, this);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_view->setRenderHint(QPainter::Antialiasing, true);
    m_view->setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setResizeAnchor(QGraphicsView::AnchorUnderMouse);
    m_view->setBackgroundBrush(background);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view, 1);

    if (!caption.isEmpty()) {
        auto *label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(
            QStringLiteral("QLabel { color: %1; background-color: %2; padding: 8px; font-size: 12px; }")
                .arg(ThemeManager::colour(ThemeManager::Colour::ViewerCaption, palette()).name(), background.name()));
        layout->addWidget(label);
    }

    QSize available;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        available = screen->availableGeometry().size();
    resize(initialSize(image.size(), !caption.isEmpty(), available));
}

QSize ImageLightbox::initialSize(const QSize &imageSize, bool hasCaption, const QSize &availableScreen)
{
    int maxWidth = 1400;
    int maxHeight = 900;
    if (availableScreen.isValid()) {
        maxWidth = qMin(maxWidth, availableScreen.width() * 3 / 4);
        maxHeight = qMin(maxHeight, availableScreen.height() * 3 / 4);
    }
    int width = qMin(imageSize.width() + 16, maxWidth);
    int height = qMin(imageSize.height() + (hasCaption ? 48 : 16), maxHeight);
    return {qMax(width, 480), qMax(height, 360)};
}

qreal ImageLightbox::zoom() const
{
    return m_view->transform().m11();
}

QGraphicsView *ImageLightbox::view() const
{
    return m_view;
}

void ImageLightbox::fitToView()
{
    m_view->resetTransform();
    m_view->fitInView(m_item, Qt::KeepAspectRatio);
}

void ImageLightbox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        fitToView();
    }
}

void ImageLightbox::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_view->scale(1.25, 1.25);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        m_view->scale(0.8, 0.8);
        break;
    case Qt::Key_0:
        fitToView();
        break;
    case Qt::Key_1:
        m_view->resetTransform();
        break;
    case Qt::Key_Escape:
    case Qt::Key_Q:
        accept();
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}
