#pragma once

#include "yesnoprompt.h"

#include <QDialog>
#include <QList>
#include <QPointer>

#include <functional>

class AppState;
class PageHost;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

// The Preferences window: five categories, every change written at once.
// The theme, steno and tray options take effect through whoever listens to
// the preferences; the font size goes straight to the theme manager.
class SettingsDialog final : public QDialog
{
    Q_OBJECT
public:
    // Dialogs the window would show; tests answer them.
    struct Hooks
    {
        YesNoPrompt confirm;
        std::function<void(const QString &title, const QString &text)> warn;
        // Whether the desktop has a system tray to hide the window in.
        std::function<bool()> trayAvailable;
    };

    explicit SettingsDialog(AppState *appState, QWidget *parent = nullptr);

    Hooks &hooks() { return m_hooks; }

    // Stores a new server address, signing out first (after asking) when
    // signed in. False when the address is refused or the user declines.
    bool changeServerAddress(const QString &address);

public slots:
    void onCategoryChanged(int row);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Heading
    {
        QPointer<QLabel> label;
        int pixelSize;
        int weight;
    };

    void buildAppearancePage(QVBoxLayout *layout);
    void buildEditorPage(QVBoxLayout *layout);
    void buildWindowPage(QVBoxLayout *layout);
    void buildSyncPage(QVBoxLayout *layout);
    void buildAccountPage(QVBoxLayout *layout);

    QVBoxLayout *newPage(QWidget *page, const QString &title);
    void addSection(QVBoxLayout *layout, const QString &title, const QString &description);
    QLabel *addHeading(QLayout *layout, const QString &text, int pixelSize, int weight);
    QCheckBox *addCheck(QVBoxLayout *layout, const QString &text, const QString &key, bool fallback);
    void addSeparator(QVBoxLayout *layout);

    void applyColours();
    void applyFonts();
    void refreshSyncStatus();
    void refreshAccountPage();
    // The tray options are offered only where a tray can take the window.
    void refreshTrayOptions();
    void showServerAddress();
    bool signedIn() const;

    AppState *m_state;
    Hooks m_hooks;
    PageHost *m_host = nullptr;
    QComboBox *m_theme = nullptr;
    QComboBox *m_fontSize = nullptr;
    QLabel *m_syncStatus = nullptr;
    QPushButton *m_syncNow = nullptr;
    QCheckBox *m_autoSync = nullptr;
    QSpinBox *m_interval = nullptr;
    QCheckBox *m_offlineBanner = nullptr;
    QList<QWidget *> m_trayOptions;
    QLabel *m_noTray = nullptr;
    QLabel *m_accountStatus = nullptr;
    QString m_accountMessage; // the outcome of the last sign-in or sign-out
    bool m_askedForUser = false;
    QPushButton *m_manageAccount = nullptr;
    QPushButton *m_signIn = nullptr;
    QPushButton *m_signOut = nullptr;
    QLineEdit *m_server = nullptr;
    QLabel *m_serverNote = nullptr;
    QList<Heading> m_headings;
    QList<QPointer<QLabel>> m_descriptions;
    QList<QPointer<QFrame>> m_lines;
};
