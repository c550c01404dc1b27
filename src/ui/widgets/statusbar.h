#pragma once

#include <QStatusBar>

class QLabel;
class QProgressBar;

// Texts of the status bar, kept apart so they can be checked without a window.
// "%1 (%2 %3)" with "note" only for exactly one; a negative count gives the name alone.
QString notebookInfoText(const QString &name, int count);
// "Words: %1", or empty for a negative count.
QString wordCountText(int words);
// current with its saved state replaced: " · " (when there is other text) and
// "Saved" or "Saving...". An earlier saved-state suffix is dropped first, so
// repeated calls never pile up.
QString withSavedState(const QString &current, bool saved);

// The windows' status bar: current notebook and its note count on the left;
// word count with the saved state and the sync/sign-in state on the right.
class StatusBar final : public QStatusBar
{
    Q_OBJECT
public:
    explicit StatusBar(QWidget *parent = nullptr);

    void setNotebookInfo(const QString &name, int count);
    void setWordCount(int words);
    void setSavedState(bool saved);
    // While a save is failing the saved state reads "Not saved — retrying".
    void setSaveFailing(bool failing);
    void setStatusText(const QString &text);
    // What the status text leaves out (why offline, the last sync, changes
    // waiting): the status label's tool tip.
    void setStatusDetails(const QString &details);
    // Hides the auxiliary label and the busy indicator, then shows text for
    // timeoutMs; the text is announced.
    void showTemporaryMessage(const QString &text, int timeoutMs);
    // Tells assistive technology about a result shown only here: the bar's
    // accessible name becomes text, which screen readers read out.
    void announce(const QString &text);

    QString notebookText() const;
    QString wordCountLabelText() const;
    QString statusText() const;
    QString statusDetails() const;
    // The bar's text colour and its font, one point below the application's.
    void refreshLook();

protected:
    bool event(QEvent *event) override;

private:

    QLabel *m_notebookLabel = nullptr;
    QLabel *m_auxLabel = nullptr;
    QProgressBar *m_busyIndicator = nullptr;
    QLabel *m_wordCountLabel = nullptr;
    QLabel *m_statusLabel = nullptr;
    bool m_saveFailing = false;
    bool m_refreshingLook = false;
};
