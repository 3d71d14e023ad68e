#include "RibbonStandIn.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace k27 {

RibbonStandIn::RibbonStandIn(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VelRibbon1"));
    setFixedHeight(BarHeightPixels);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral(
        "k27--RibbonStandIn { background: qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 #dbe8f7, stop:1 #c3d7ef); }"
        "QPushButton[tab=\"true\"] { border: 1px solid transparent; padding: 4px 18px; background: transparent; }"
        "QPushButton[tab=\"true\"]:checked { background: #f4f8fd; border: 1px solid #8aa8d0; border-bottom: none; }"));
    m_caption = new QLabel(this);
    m_caption->setAlignment(Qt::AlignCenter);
    auto* minimise = new QPushButton(QStringLiteral("–"), this);
    auto* close = new QPushButton(QStringLiteral("✕"), this);
    for (QPushButton* b : {minimise, close})
        b->setFixedSize(34, 24);
    connect(minimise, &QPushButton::clicked, this, [this] { window()->showMinimized(); });
    connect(close, &QPushButton::clicked, this, [this] { window()->close(); });
    auto* top = new QHBoxLayout;
    top->addStretch();
    top->addWidget(m_caption, 1);
    top->addWidget(minimise);
    top->addWidget(close);
    m_tabs = new QHBoxLayout;
    m_tabs->setSpacing(2);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 0);
    layout->addLayout(top);
    layout->addLayout(m_tabs);
    layout->addStretch();
}

void RibbonStandIn::setCaption(const QString& caption)
{
    m_caption->setText(caption);
}

int RibbonStandIn::AddTab(const QString& zID, const QString& zCaption)
{
    m_ids << zID;
    m_captions << QString(zCaption).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return 0;
}

int RibbonStandIn::Refresh()
{
    qDeleteAll(m_buttons);
    m_buttons.clear();
    for (int i = 0; i < m_ids.size(); ++i) {
        auto* tab = new QPushButton(m_captions[i], this);
        tab->setProperty("tab", true);
        tab->setCheckable(true);
        tab->setAutoExclusive(true);
        tab->setChecked(i == 0);
        m_tabs->addWidget(tab);
        m_buttons << tab;
        connect(tab, &QPushButton::clicked, this, [this, i] { emit TabClick(m_ids[i], m_captions[i]); });
    }
    m_tabs->addStretch();
    return 0;
}

void RibbonStandIn::mousePressEvent(QMouseEvent* event)
{
    m_dragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void RibbonStandIn::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - m_dragOffset);
}

} // namespace k27
