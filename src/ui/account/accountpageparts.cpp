#include "accountpageparts.h"

#include <QCoreApplication>

#include "thememanager.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace VelmAccount {

namespace {

class Texts
{
    Q_DECLARE_TR_FUNCTIONS(AccountScreen)
};

const char *const kTintProperty = "accountTint";

QString tintStyle(AccountParts::Tint tint, const QPalette &palette)
{
    using Colour = ThemeManager::Colour;
    const auto name = [&palette](Colour role) { return ThemeManager::colour(role, palette).name(); };
    switch (tint) {
    case AccountParts::Tint::Error:
        return QStringLiteral("color: %1;").arg(name(Colour::ErrorText));
    case AccountParts::Tint::Success:
        return QStringLiteral("color: %1;").arg(name(Colour::SuccessText));
    case AccountParts::Tint::Accent:
        return QStringLiteral("color: %1;").arg(name(Colour::AccentText));
    case AccountParts::Tint::Destructive:
        return QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 4px; "
                              "padding: 6px 16px; font-weight: 600; }"
                              "QPushButton:hover { background: %3; } QPushButton:disabled { background: %4; }")
            .arg(name(Colour::DestructiveText), name(Colour::Destructive), name(Colour::DestructiveHover),
                 name(Colour::DestructiveDisabled));
    }
    return {};
}

} // namespace

QString accountRelativeTime(const QDateTime &time, const QDateTime &now)
{
    if (!time.isValid())
        return Texts::tr("Unknown");
    const qint64 seconds = time.secsTo(now);
    if (seconds < 60)
        return Texts::tr("Active now");
    if (seconds < 3600)
        return Texts::tr("%1m ago").arg(seconds / 60);
    if (seconds < 86400)
        return Texts::tr("%1h ago").arg(seconds / 3600);
    if (seconds < 604800)
        return Texts::tr("%1d ago").arg(seconds / 86400);
    return QLocale::c().toString(time.toLocalTime().date(), QStringLiteral("MMM d, yyyy"));
}

QString sessionInWords(const QString &userAgent)
{
    struct Name
    {
        const char *token, *words;
    };
    // Order matters: Edge and Opera also say Chrome, Chrome also says Safari,
    // and Android also says Linux.
    static constexpr Name browsers[] = {{"Edg/", "Edge"}, {"OPR/", "Opera"}, {"Firefox/", "Firefox"},
                                        {"Chromium/", "Chromium"}, {"Chrome/", "Chrome"}, {"Safari/", "Safari"},
                                        {"curl/", "curl"}};
    static constexpr Name systems[] = {{"Windows", "Windows"}, {"Android", "Android"}, {"iPhone", "iOS"},
                                       {"iPad", "iPadOS"}, {"Mac OS X", "macOS"}, {"CrOS", "ChromeOS"},
                                       {"Linux", "Linux"}, {"X11", "Linux"}};
    const auto find = [&userAgent](const auto &table) {
        for (const Name &name : table) {
            if (userAgent.contains(QLatin1String(name.token)))
                return QString::fromLatin1(name.words);
        }
        return QString();
    };
    const QString browser = find(browsers);
    const QString system = find(systems);
    if (!browser.isEmpty() && !system.isEmpty())
        return Texts::tr("%1 on %2").arg(browser, system);
    if (!browser.isEmpty() || !system.isEmpty())
        return browser.isEmpty() ? system : browser;
    if (userAgent.trimmed().isEmpty())
        return Texts::tr("Unknown client");
    return userAgent.size() > 60 ? userAgent.left(60) + QStringLiteral("...") : userAgent;
}

QString platformInWords(const QString &platform)
{
    if (platform == QLatin1String("linux"))
        return QStringLiteral("Linux");
    if (platform == QLatin1String("windows"))
        return QStringLiteral("Windows");
    if (platform == QLatin1String("macos"))
        return QStringLiteral("macOS");
    return platform;
}

namespace AccountParts {

QLabel *label(const QString &text, int pointDelta, int weight)
{
    auto *result = new QLabel(text);
    result->setWordWrap(true);
    result->setTextFormat(Qt::PlainText);
    // A long address may be cut, but must not push a row's buttons out of sight.
    result->setMinimumWidth(1);
    if (pointDelta != 0 || weight > 0) {
        QFont font = result->font();
        font.setPointSize(std::max(7, font.pointSize() + pointDelta));
        if (weight > 0)
            font.setWeight(QFont::Weight(weight));
        result->setFont(font);
    }
    return result;
}

QLabel *badge(const QString &text, int pointDelta)
{
    QLabel *result = label(text, pointDelta, 500);
    // A badge is a word or two beside a button: wrapping it made a two-line
    // stub that reads as two labels.
    result->setWordWrap(false);
    result->setMinimumWidth(result->sizeHint().width());
    return result;
}

QLabel *muted(const QString &text, int pointDelta)
{
    QLabel *result = label(text, pointDelta);
    result->setForegroundRole(QPalette::PlaceholderText);
    return result;
}

QVBoxLayout *addRow(QVBoxLayout *page, const QList<QWidget *> &trailing)
{
    auto *row = new QHBoxLayout;
    auto *lines = new QVBoxLayout;
    lines->setSpacing(2);
    row->addLayout(lines, 1);
    for (QWidget *widget : trailing)
        row->addWidget(widget, 0, Qt::AlignVCenter);
    page->addLayout(row);
    return lines;
}

void clearLayout(QLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        if (QWidget *widget = item->widget()) {
            // Out of the tree at once; a button may still be inside its click.
            widget->hide();
            widget->setParent(nullptr);
            widget->deleteLater();
        }
        if (QLayout *child = item->layout())
            clearLayout(child);
        delete item;
    }
}

QLabel *addSection(QVBoxLayout *layout, const QString &title, const QString &description)
{
    layout->addSpacing(6);
    layout->addWidget(label(title, 2, 500));
    QLabel *text = nullptr;
    if (!description.isEmpty()) {
        text = muted(description);
        layout->addWidget(text);
    }
    return text;
}

void tint(QWidget *widget, Tint tint)
{
    widget->setProperty(kTintProperty, int(tint));
    widget->setStyleSheet(tintStyle(tint, QApplication::palette(widget)));
}

void retint(QWidget *root)
{
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *widget : std::as_const(widgets)) {
        const QVariant tinted = widget->property(kTintProperty);
        if (tinted.isValid())
            tint(widget, Tint(tinted.toInt()));
    }
}

} // namespace AccountParts
} // namespace VelmAccount
