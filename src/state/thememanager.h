#pragma once

#include <QFont>
#include <QObject>
#include <QColor>
#include <QPalette>
#include <QPointer>

#include <functional>
#include <optional>

class PreferencesRepository;

// Decides the application-wide palette (light, dark or the system's) and the
// process-wide font scale, applies both to the whole application and persists
// the user's choice. Widgets with hand-written style sheets rebuild them on
// themeChanged.
class ThemeManager final : public QObject
{
    Q_OBJECT
public:
    enum Theme { System = 0, Light = 1, Dark = 2 };
    Q_ENUM(Theme)

    // preferences may be null; it is not owned and must outlive the manager.
    explicit ThemeManager(PreferencesRepository *preferences, QObject *parent = nullptr);

    Theme themeMode() const { return m_mode; }
    void setThemeMode(const QString &mode);
    void applyTheme(ThemeManager::Theme theme);

    void setFontScale(int percent);
    static int fontScale();

    static Theme themeFromText(const QString &mode);
    static QString textFromTheme(Theme theme);
    static QPalette lightPalette();
    static QPalette darkPalette();

    // Colours widgets draw with beyond the palette's roles.
    enum class Colour {
        ChipBackground,
        ChipHover,
        ChipText,
        StatusText,
        SyncWarning,
        SyncConflict,
        ViewerBackground,
        ViewerCaption,
        ErrorText,
        Rule,
        SuccessText,
        AccentText,
        MutedText,
        Destructive,      // background of a button that deletes for good
        DestructiveHover,
        DestructiveDisabled,
        DestructiveText,
    };
    // The value for palette's theme (dark or light as isDarkPalette says).
    static QColor colour(Colour role, const QPalette &palette);

    // The base point size scaled by the current percentage; never below 1.
    // A base without a point size (pixel-sized) counts as 10 pt.
    static int scaledPointSize();
    // A length in pixels (an icon's side, a button's) at the current text size.
    static int scaledPixels(int pixels);
    static int scaledPointSize(const QFont &base, int percent);
    // The application font at the first moment a scaled font was needed.
    static QFont baseFont();

    // What the platform reports for its colour scheme: true for dark, false
    // for light, nothing when it states no preference. Tests replace it.
    using SchemeProbe = std::function<std::optional<bool>()>;
    void setSchemeProbe(SchemeProbe probe) { m_schemeProbe = std::move(probe); }

signals:
    void themeChanged(ThemeManager::Theme theme);
    void fontScaleChanged(int percent);

private:
    QPointer<PreferencesRepository> m_preferences;
    Theme m_mode = System;
    SchemeProbe m_schemeProbe;
};
