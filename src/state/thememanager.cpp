#include "thememanager.h"

#include "preferencesrepository.h"
#include "textformat.h"

#include <QGuiApplication>
#include <QStyleHints>

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

int g_fontScale = 100;

std::optional<QFont> &capturedBase()
{
    static std::optional<QFont> base;
    return base;
}

struct PaletteColours
{
    const char *window, *windowText, *base, *alternateBase, *text, *button, *buttonText, *highlight,
        *highlightedText, *toolTipBase, *toolTipText, *placeholder, *mid, *light, *dark, *disabledText;
};

QPalette buildPalette(const PaletteColours &c)
{
    QPalette p;
    const auto set = [&p](QPalette::ColorRole role, const char *colour) { p.setColor(QPalette::All, role, QColor(colour)); };
    set(QPalette::Window, c.window);
    set(QPalette::WindowText, c.windowText);
    set(QPalette::Base, c.base);
    set(QPalette::AlternateBase, c.alternateBase);
    set(QPalette::Text, c.text);
    set(QPalette::Button, c.button);
    set(QPalette::ButtonText, c.buttonText);
    set(QPalette::Highlight, c.highlight);
    set(QPalette::HighlightedText, c.highlightedText);
    set(QPalette::ToolTipBase, c.toolTipBase);
    set(QPalette::ToolTipText, c.toolTipText);
    set(QPalette::PlaceholderText, c.placeholder);
    set(QPalette::Mid, c.mid);
    set(QPalette::Light, c.light);
    set(QPalette::Dark, c.dark);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(c.disabledText));
    return p;
}

} // namespace

ThemeManager::ThemeManager(PreferencesRepository *preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    m_schemeProbe = []() -> std::optional<bool> {
        switch (QGuiApplication::styleHints()->colorScheme()) {
        case Qt::ColorScheme::Dark:
            return true;
        case Qt::ColorScheme::Light:
            return false;
        default:
            return std::nullopt;
        }
    };
#else
    // Before 6.5 Qt has no colour-scheme hint; the platform theme's own palette,
    // read before we install one, tells light from dark.
    const bool systemDark = isDarkPalette(QGuiApplication::palette());
    m_schemeProbe = [systemDark]() -> std::optional<bool> { return systemDark; };
#endif
}

ThemeManager::Theme ThemeManager::themeFromText(const QString &mode)
{
    if (mode == QLatin1String("light"))
        return Light;
    if (mode == QLatin1String("dark"))
        return Dark;
    return System;
}

QString ThemeManager::textFromTheme(Theme theme)
{
    switch (theme) {
    case Light:
        return QStringLiteral("light");
    case Dark:
        return QStringLiteral("dark");
    default:
        return QStringLiteral("system");
    }
}

QPalette ThemeManager::lightPalette()
{
    return buildPalette({"#FAFAFA", "#212121", "#FFFFFF", "#F5F7FA", "#212121", "#FAFAFA", "#212121", "#1565C0",
                         "#FFFFFF", "#FFFFFF", "#212121", "#546E7A", "#E0E0E0", "#FFFFFF", "#B0BEC5", "#9E9E9E"});
}

QPalette ThemeManager::darkPalette()
{
    return buildPalette({"#1E1E1E", "#E0E0E0", "#252525", "#2A2A2A", "#E0E0E0", "#252525", "#E0E0E0", "#42A5F5",
                         "#1E1E1E", "#252525", "#E0E0E0", "#9E9E9E", "#3A3A3A", "#3A3A3A", "#0D0D0D", "#555555"});
}

QColor ThemeManager::colour(Colour role, const QPalette &palette)
{
    struct Pair
    {
        const char *light, *dark;
    };
    static constexpr Pair table[] = {
        {"#EFF1F4", "#2A2D31"}, // ChipBackground
        {"#E4E7EC", "#34383D"}, // ChipHover
        {"#2B3138", "#D7DBE0"}, // ChipText
        {"#546E7A", "#90A4AE"}, // StatusText: at least 4.5:1 on the window
        {"#E6B23B", "#E6B23B"}, // SyncWarning
        {"#E07A6B", "#E07A6B"}, // SyncConflict
        {"#0A0A0A", "#0A0A0A"}, // ViewerBackground
        {"#CCCCCC", "#CCCCCC"}, // ViewerCaption
        {"#B00020", "#EF9A9A"}, // ErrorText
        {"#40808080", "#40808080"}, // Rule: a quarter-opaque grey
        {"#2E7D32", "#81C784"}, // SuccessText
        {"#00897B", "#4DB6AC"}, // AccentText
        {"#616161", "#A0A0A0"}, // MutedText: at least 4.5:1 on window and base
        {"#C62828", "#C62828"}, // Destructive
        {"#B71C1C", "#B71C1C"}, // DestructiveHover
        {"#666666", "#555555"}, // DestructiveDisabled
        {"#FFFFFF", "#FFFFFF"}, // DestructiveText
    };
    static_assert(std::size(table) == int(Colour::DestructiveText) + 1, "one row per role");
    const Pair &pair = table[int(role)];
    return QColor(QLatin1String(isDarkPalette(palette) ? pair.dark : pair.light));
}

void ThemeManager::setThemeMode(const QString &mode)
{
    applyTheme(themeFromText(mode));
}

void ThemeManager::applyTheme(ThemeManager::Theme theme)
{
    m_mode = theme;
    bool dark = false;
    bool install = true;
    switch (theme) {
    case Light:
        break;
    case Dark:
        dark = true;
        break;
    case System:
        dark = m_schemeProbe && m_schemeProbe().value_or(false);
        break;
    default:
        install = false;
        break;
    }
    // The application installs its widget style before the first theme, since
    // installing a style may bring its own palette along.
    if (install)
        QGuiApplication::setPalette(dark ? darkPalette() : lightPalette());

    QFont font = baseFont();
    font.setPointSize(scaledPointSize());
    QGuiApplication::setFont(font);

    if (m_preferences)
        m_preferences->set(QStringLiteral("theme_mode"), textFromTheme(theme));
    emit themeChanged(theme);
}

void ThemeManager::setFontScale(int percent)
{
    g_fontScale = std::clamp(percent, 70, 160);
    // Note text is sized by the document model, which cannot see this class.
    setDocumentFontScale(g_fontScale);
    if (m_preferences)
        m_preferences->set(QStringLiteral("fontScale"), QString::number(g_fontScale));
    applyTheme(m_mode);
    emit fontScaleChanged(g_fontScale);
}

int ThemeManager::fontScale()
{
    return g_fontScale;
}

QFont ThemeManager::baseFont()
{
    std::optional<QFont> &base = capturedBase();
    if (!base)
        base = QGuiApplication::font();
    return *base;
}

int ThemeManager::scaledPointSize(const QFont &base, int percent)
{
    const int points = base.pointSize() > 0 ? base.pointSize() : 10;
    return std::max(1, points * percent / 100);
}

int ThemeManager::scaledPixels(int pixels)
{
    return std::max(1, pixels * g_fontScale / 100);
}

int ThemeManager::scaledPointSize()
{
    return scaledPointSize(baseFont(), g_fontScale);
}
