#include "accountpageparts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>

namespace VelmAccount {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AccountScreen", text);
}

} // namespace

QString accountRelativeTime(const QDateTime &time, const QDateTime &now)
{
    if (!time.isValid())
        return tr("Unknown");
    const qint64 seconds = time.secsTo(now);
    if (seconds < 60)
        return tr("Active now");
    if (seconds < 3600)
        return tr("%1m ago").arg(seconds / 60);
    if (seconds < 86400)
        return tr("%1h ago").arg(seconds / 3600);
    if (seconds < 604800)
        return tr("%1d ago").arg(seconds / 86400);
    return QLocale::c().toString(time.toLocalTime().date(), QStringLiteral("MMM d, yyyy"));
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

} // namespace AccountParts
} // namespace VelmAccount
