#include "sharemembersdialog.h"

#include "thememanager.h"

#include <QCursor>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>

namespace VelmAccount {

namespace {

QString shownName(const QString &displayName, const QString &email)
{
    return displayName.isEmpty() ? email : displayName;
}

QLabel *placeholderLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *avatar(const QString &initials, const QColor &colour, const QColor &text)
{
    constexpr int size = 36;
    auto *label = new QLabel(initials);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(size, size);
    label->setStyleSheet(QStringLiteral("QLabel { background: %1; color: %2; border-radius: %3px; font-weight: 600; }")
                             .arg(colour.name(QColor::HexArgb), text.name())
                             .arg(size / 2));
    QFont font = label->font();
    font.setPointSize(std::max(size / 3, 8));
    label->setFont(font);
    return label;
}

void clearLayout(QVBoxLayout *layout)
{
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
}

} // namespace

QString personInitials(const QString &displayName, const QString &email)
{
    const QStringList parts = displayName.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return email.isEmpty() ? QStringLiteral("?") : email.left(1).toUpper();
    if (parts.size() == 1)
        return parts.first().left(1).toUpper();
    return (parts.first().left(1) + parts.last().left(1)).toUpper();
}

QList<GroupPerson> membersToOffer(const QList<GroupPerson> &group, const QString &selfId,
                                  const QList<ShareMember> &shares)
{
    QList<GroupPerson> offered;
    for (const GroupPerson &person : group) {
        const QString key = person.accountId.isEmpty() ? person.authUserId : person.accountId;
        const bool hasAccess = std::any_of(shares.begin(), shares.end(),
                                           [&key](const ShareMember &share) { return share.accountId == key; });
        if (person.accountId != selfId && !hasAccess)
            offered.append(person);
    }
    return offered;
}

ShareMembersDialog::ShareMembersDialog(SharingBackend *backend, const QString &resourceId, const QStringList &texts,
                                       GroupLoader loadGroup, QWidget *parent)
    : QDialog(parent)
    , m_backend(backend)
    , m_resourceId(resourceId)
    , m_texts(texts)
    , m_loadGroup(std::move(loadGroup))
{
    setWindowTitle(text(Title));
    setMinimumSize(560, 560);
    resize(620, 620);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    if (!text(Subtitle).isEmpty()) {
        auto *subtitle = new QLabel(text(Subtitle));
        QFont font = subtitle->font();
        font.setPointSizeF(font.pointSizeF() + 2);
        font.setWeight(QFont::DemiBold);
        subtitle->setFont(font);
        subtitle->setWordWrap(true);
        layout->addWidget(subtitle);
    }
    if (!text(Description).isEmpty())
        layout->addWidget(placeholderLabel(text(Description)));
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("color: %1;")
                            .arg(ThemeManager::colour(ThemeManager::Colour::Rule, palette()).name(QColor::HexArgb)));
    layout->addWidget(line);
    m_error = new QLabel;
    m_error->setWordWrap(true);
    m_error->setStyleSheet(QStringLiteral("QLabel { color: %1; padding: 4px 0; }")
                               .arg(ThemeManager::colour(ThemeManager::Colour::ErrorText, palette()).name()));
    m_error->hide();
    layout->addWidget(m_error);

    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto *content = new QWidget;
    auto *contentLayout = new QVBoxLayout(content);
    const auto heading = [](const QString &t) {
        auto *label = new QLabel(t);
        QFont font = label->font();
        font.setWeight(QFont::DemiBold);
        label->setFont(font);
        return label;
    };
    contentLayout->addWidget(heading(text(AccessHeading)));
    m_accessRows = new QVBoxLayout;
    m_accessRows->setSpacing(2);
    contentLayout->addLayout(m_accessRows);
    contentLayout->addSpacing(8);
    auto *members = new QVBoxLayout;
    members->setSpacing(4);
    if (!text(MembersHeading).isEmpty())
        members->addWidget(heading(text(MembersHeading)));
    m_memberRows = new QVBoxLayout;
    members->addLayout(m_memberRows);
    m_noGroupHint = placeholderLabel(text(NoGroupHint));
    m_allHaveAccessHint = placeholderLabel(text(AllHaveAccessHint));
    for (QLabel *hint : {m_noGroupHint, m_allHaveAccessHint}) {
        hint->setContentsMargins(0, 8, 0, 0);
        hint->hide();
        members->addWidget(hint);
    }
    contentLayout->addLayout(members);
    contentLayout->addStretch();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *close = new QPushButton(text(CloseButton));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    reload();
}

QString ShareMembersDialog::text(Text which) const
{
    const QString given = m_texts.value(which);
    if (!given.isEmpty())
        return given;
    switch (which) {
    case AccessHeading: return tr("People with access");
    case MembersHeading: return tr("Add people");
    case EmptyAccess: return tr("Not shared with anyone yet.");
    case NoGroupHint: return tr("You are not in a group yet. Create one or join one from your account to share.");
    case AllHaveAccessHint: return tr("All group members already have access");
    case ShareButton: return tr("Share");
    case RemoveButton: return tr("Remove access");
    case CloseButton: return tr("Close");
    case RemoveQuestionTitle: return tr("Remove access?");
    case RemoveQuestion: return tr("%1 will no longer have access. Continue?");
    default: return given;
    }
}

QString ShareMembersDialog::errorText() const
{
    return m_error->isHidden() ? QString() : m_error->text();
}

void ShareMembersDialog::reload()
{
    const QPointer<ShareMembersDialog> self(this);
    m_backend->listMembers(m_resourceId, [self](const QList<ShareMember> &shares) {
        if (!self)
            return;
        self->m_shares = shares;
        self->rebuild();
    });
    if (!m_loadGroup)
        return;
    m_loadGroup([self](const QString &selfId, const QList<GroupPerson> &group) {
        if (!self)
            return;
        self->m_selfId = selfId;
        self->m_group = group;
        self->rebuild();
    });
}

QWidget *ShareMembersDialog::personRow(const QString &name, const QString &email, bool member, QWidget *button)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    QColor colour = palette().color(QPalette::Highlight);
    if (member)
        colour.setAlphaF(0.55f);
    layout->addWidget(avatar(personInitials(name, email), colour, palette().color(QPalette::HighlightedText)));
    auto *names = new QVBoxLayout;
    auto *nameLabel = new QLabel(shownName(name, email));
    QFont font = nameLabel->font();
    font.setWeight(QFont::Medium);
    nameLabel->setFont(font);
    names->addWidget(nameLabel);
    if (email != shownName(name, email))
        names->addWidget(placeholderLabel(email));
    layout->addLayout(names, 1);
    layout->addWidget(button);
    return row;
}

void ShareMembersDialog::rebuild()
{
    clearLayout(m_accessRows);
    clearLayout(m_memberRows);
    int access = 0;
    for (const ShareMember &share : std::as_const(m_shares)) {
        if (share.permission == QLatin1String("owner"))
            continue;
        auto *remove = new QPushButton(text(RemoveButton));
        connect(remove, &QPushButton::clicked, this, [this, share] { removeAccess(share); });
        m_accessRows->addWidget(personRow(share.displayName, share.email, false, remove));
        ++access;
    }
    if (access == 0) {
        QLabel *empty = placeholderLabel(text(EmptyAccess));
        empty->setContentsMargins(0, 4, 0, 4);
        m_accessRows->addWidget(empty);
    }
    m_noGroupHint->setVisible(m_group.isEmpty());
    const QList<GroupPerson> offered = m_group.isEmpty() ? QList<GroupPerson>() : membersToOffer(m_group, m_selfId, m_shares);
    for (const GroupPerson &person : offered) {
        auto *share = new QPushButton(text(ShareButton));
        share->setCursor(Qt::PointingHandCursor);
        connect(share, &QPushButton::clicked, this, [this, person] { shareWith(person); });
        m_memberRows->addWidget(personRow(person.displayName, person.email, true, share));
    }
    m_allHaveAccessHint->setVisible(!m_group.isEmpty() && offered.isEmpty());
}

void ShareMembersDialog::shareWith(const GroupPerson &person)
{
    if (m_busy)
        return;
    m_busy = true;
    m_error->hide();
    const QString key = person.accountId.isEmpty() ? person.authUserId : person.accountId;
    const QString name = shownName(person.displayName, person.email);
    const QPointer<ShareMembersDialog> self(this);
    m_backend->shareWith(m_resourceId, key, m_texts.value(Permission), [self, name](bool ok, const QString &error) {
        if (!self)
            return;
        self->m_busy = false;
        if (!ok) {
            self->m_error->setText(error.isEmpty() ? tr("Could not share with %1.").arg(name) : error);
            self->m_error->show();
            return;
        }
        emit self->sharingChanged();
        self->reload();
    });
}

void ShareMembersDialog::removeAccess(const ShareMember &share)
{
    if (m_busy)
        return;
    const QString name = shownName(share.displayName, share.email);
    if (QMessageBox::question(this, text(RemoveQuestionTitle), text(RemoveQuestion).arg(name),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        != QMessageBox::Yes)
        return;
    m_error->hide();
    m_busy = true;
    const QPointer<ShareMembersDialog> self(this);
    m_backend->removeShare(m_resourceId, m_backend->memberKey(share), [self, name](bool ok) {
        if (!self)
            return;
        self->m_busy = false;
        if (!ok) {
            self->m_error->setText(tr("Could not remove %1.").arg(name));
            self->m_error->show();
            return;
        }
        emit self->sharingChanged();
        self->reload();
    });
}

} // namespace VelmAccount
