#pragma once

#include <QFrame>

class QLabel;

// The strip above the note pane while sync cannot reach the server: why, when
// the notes last synced, what waits to be uploaded, and "Try Again".
class OfflineBanner final : public QFrame
{
    Q_OBJECT
public:
    explicit OfflineBanner(QWidget *parent = nullptr);

    void setDetails(const QString &details);
    QString text() const;

signals:
    void retryRequested();

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyPalette();

    QLabel *m_text = nullptr;
    bool m_applying = false;
};
