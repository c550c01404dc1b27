#pragma once

#include <QDialog>
#include <QImage>

class QGraphicsPixmapItem;
class QGraphicsScene;
class QGraphicsView;

// Shows one image full size with zooming (keys and wheel) and panning.
// Modal, but meant to be shown with show(): the caller sets delete-on-close
// and does not wait.
class ImageLightbox final : public QDialog
{
    Q_OBJECT
public:
    ImageLightbox(const QImage &image, const QString &caption, QWidget *parent = nullptr);

    // Initial window size for an image: image plus a frame (taller with a
    // caption), bounded by 1400 x 900 lowered to three quarters of the
    // available screen when one is known, then raised to at least 480 x 360.
    static QSize initialSize(const QSize &imageSize, bool hasCaption, const QSize &availableScreen);

    // The view's current horizontal scale (1.0 is the natural size).
    qreal zoom() const;
    QGraphicsView *view() const;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fitToView();

    QGraphicsScene *m_scene = nullptr;
    QGraphicsPixmapItem *m_item = nullptr;
    QGraphicsView *m_view = nullptr;
    bool m_shown = false;
};
