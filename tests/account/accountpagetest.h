#pragma once

// The account pages' tests: a page's buttons and texts, its rebuilds and
// reports waited for, and its prompts answered from lists.

#include "accountpage.h"
#include "serverfixture.h"

#include <QLabel>
#include <QPushButton>

namespace AccountPageTest {

using VelmAccount::AccountPage;

inline QList<QPushButton *> buttons(const QWidget &page, const QString &text)
{
    QList<QPushButton *> found;
    for (QPushButton *button : page.findChildren<QPushButton *>()) {
        if (button->text() == text)
            found << button;
    }
    return found;
}

inline bool shows(const QWidget &page, const QString &text)
{
    const QList<QLabel *> labels = page.findChildren<QLabel *>();
    return std::any_of(labels.cbegin(), labels.cend(), [&text](QLabel *label) { return label->text().startsWith(text); });
}

// Runs action and waits until the page has been rebuilt afterwards.
template<typename Action>
bool rebuiltAfter(AccountPage &page, Action action)
{
    QSignalSpy spy(&page, &AccountPage::rebuilt);
    action();
    return !spy.isEmpty() || spy.wait(20000);
}

// Runs action and waits up to timeout ms for its report; one made before the
// action returned (before any answer could arrive) is marked "at once: ".
template<typename Action>
QString reportAfter(AccountPage &page, Action action, int timeout = 20000)
{
    QSignalSpy spy(&page, &AccountPage::reported);
    action();
    const QString early = spy.isEmpty() ? QString() : QStringLiteral("at once: ");
    if (spy.isEmpty() && !spy.wait(timeout))
        return QString();
    return early + spy.first().at(0).toString();
}

inline void answer(AccountPage &page, QStringList texts)
{
    page.prompts().text = [texts](const QString &, const QString &, const QString &) mutable {
        return texts.isEmpty() ? std::nullopt : std::optional<QString>(texts.takeFirst());
    };
    page.prompts().confirm = [](const QString &, const QString &) { return true; };
}

inline void answerPasswords(AccountPage &page, QStringList passwords, int *asked = nullptr)
{
    page.prompts().password = [passwords, asked](const QString &, const QString &) mutable {
        if (asked)
            ++*asked;
        return passwords.isEmpty() ? std::nullopt : std::optional<QString>(passwords.takeFirst());
    };
}

} // namespace AccountPageTest
