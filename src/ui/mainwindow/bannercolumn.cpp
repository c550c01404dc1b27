#include "bannercolumn.h"

#include <QStackedWidget>
#include <QVBoxLayout>

BannerColumn::BannerColumn(QWidget *parent)
    : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_stack = new QStackedWidget(this);
    m_layout->addWidget(m_stack);
}

void BannerColumn::addBanner(QWidget *banner)
{
    banner->setParent(this);
    m_layout->insertWidget(0, banner);
}
