#include "ribbon/VelRibbon.h"

#include "ribbon/RibbonSizes.h"

#include <QPainter>

// Painting the ribbon: theme pictures and texts over the geometry its placement computed.
namespace k27 {

namespace P = RibbonPicture;
using L = RibbonLayout;
using namespace ribbon;

void VelRibbon::drawPicture(QPainter& p, int id, const QRect& twips) const
{
    const QPixmap& pm = m_pictures[id - P::First];
    if (pm.isNull() || twips.width() <= 0 || twips.height() <= 0)
        return;
    p.drawPixmap(L::toPixels(twips), pm);
}

void VelRibbon::drawText(QPainter& p, const QRect& twips, const QString& text, const QColor& colour, int flags) const
{
    p.setPen(colour);
    QRect r = L::toPixels(twips);
    r.setWidth(r.width() + 2); // rounding must never clip the last glyph
    p.drawText(r, flags | Qt::TextSingleLine, text);
}

void VelRibbon::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(m_font);
    p.setRenderHint(QPainter::TextAntialiasing);
    // In this order: later parts lie over earlier ones.
    paintBackground(p);
    paintTabs(p);
    paintCategories(p);
    paintTopStrip(p);
    paintAppButton(p);
    paintCaption(p);
    paintWindowButtons(p);
}

void VelRibbon::paintBackground(QPainter& p) const
{
    if (pic(P::Barra2).isNull())
        p.fillRect(rect(), palette().window());
    drawPicture(p, P::Barra2, m_bar.barra2);
    drawPicture(p, P::BarraLeft, m_bar.barraLeft);
    drawPicture(p, P::BarraRight, m_bar.barraRight);
}

void VelRibbon::paintTabs(QPainter& p) const
{
    for (int i = 0; i < static_cast<int>(m_tabGeometry.size()) && i < tabCount(); ++i) {
        const RibbonTabGeometry& g = m_tabGeometry[i];
        const bool selected = i == m_selectedTab;
        if (selected) {
            drawPicture(p, P::Tab_left, g.left);
            drawPicture(p, P::Tab_center, g.center);
            drawPicture(p, P::Tab_right, g.right);
        } else if (m_highlight == Element{Part::Tab, i}) {
            drawPicture(p, P::Tab_left_over, g.overLeft);
            drawPicture(p, P::Tab_center_over, g.overCenter);
            drawPicture(p, P::Tab_right_over, g.overRight);
        }
        drawText(p, g.caption, m_tabs[i].caption, selected ? m_colours.tabSelected : m_colours.tabUnselected,
                 Qt::AlignLeft | Qt::AlignVCenter);
    }
}

// The categories of the current tab and their buttons.
void VelRibbon::paintCategories(QPainter& p) const
{
    int k = 0;
    for (int j = 0; j < static_cast<int>(m_catGeometry.size()); ++j) {
        const RibbonCategoryGeometry& g = m_catGeometry[j];
        const CatEntry& cat = m_cats[m_shownCats[j]];
        const bool dlgHot = m_highlight == Element{Part::CategoryDialog, j};
        const bool hot = m_highlight == Element{Part::Category, j} || dlgHot;
        drawPicture(p, hot ? P::Cat_Left_on : P::Cat_Left_off, g.left);
        drawPicture(p, hot ? P::Cat_Center_on : P::Cat_Center_off, g.center);
        drawPicture(p, hot ? P::Cat_Right_on : P::Cat_Right_off, g.right);
        drawText(p, g.caption, cat.caption, m_colours.catCaption, Qt::AlignLeft | Qt::AlignVCenter);
        if (cat.dialog)
            drawPicture(p, dlgHot ? P::Cat_Dlg_over : hot ? P::Cat_Dlg_on : P::Cat_Dlg, g.dialog);
        for (const RibbonButtonGeometry& bg : g.buttons)
            paintButton(p, bg, k++);
    }
}

// Shown button group k.
void VelRibbon::paintButton(QPainter& p, const RibbonButtonGeometry& bg, int k) const
{
    const ButtonEntry& b = m_buttons[m_shownButtons[k]];
    const bool pressed = m_pressed == Element{Part::Button, k};
    const bool over = m_highlight == Element{Part::Button, k};
    if (pressed) {
        drawPicture(p, P::Button_left_over, bg.left);
        drawPicture(p, P::Button_center_over, bg.center);
        drawPicture(p, P::Button_right_over, bg.right);
    } else if (over) {
        drawPicture(p, P::Button_left, bg.left);
        drawPicture(p, P::Button_center, bg.center);
        drawPicture(p, P::Button_right, bg.right);
    }
    const QPixmap icon = m_images.picture(b.picture);
    if (!icon.isNull() && !bg.icon.isEmpty())
        p.drawPixmap(L::toPixels(bg.icon), icon);
    const QStringList lines = captionLines(b.caption);
    QRect line = bg.caption;
    const int lh = buttonLineHeight();
    for (const QString& text : lines) {
        QRect r(bg.mouse.x(), line.y(), bg.mouse.width(), lh);
        drawText(p, r, text, m_colours.buttonCaption, Qt::AlignHCenter | Qt::AlignVCenter);
        line.translate(0, lh);
    }
    if (b.more)
        drawPicture(p, over || pressed ? P::Glip_on : P::Glip_off, bg.glip);
}

// The quick-access strip.
void VelRibbon::paintTopStrip(QPainter& p) const
{
    if (m_bar.ribbonTop.width() > 0)
        drawPicture(p, P::RibbonTop, m_bar.ribbonTop);
    drawPicture(p, P::RibbonTopRight, m_bar.ribbonTopRight);
    for (int n = 1; n <= topButtonCount(); ++n) {
        const QPixmap icon = m_images.picture(m_topButtons[n - 1].picture);
        const RibbonTopButtonGeometry g = L::topButton(m_bar, n, toTwips(fitted(icon, 16)));
        if (m_highlight == Element{Part::TopButton, n})
            drawPicture(p, P::RibbonTop_over, g.over);
        if (!icon.isNull())
            p.drawPixmap(L::toPixels(g.icon), icon);
    }
    if (m_bar.customVisible)
        drawPicture(p, m_highlight.part == Part::Custom ? P::RibbonTopCustom_over : P::RibbonTopCustom,
                    m_bar.ribbonTopCustom);
}

// The application button and the logo on it.
void VelRibbon::paintAppButton(QPainter& p) const
{
    const int app = m_pressed.part == Part::AppButton     ? P::ButtonRibbonon
                    : m_highlight.part == Part::AppButton ? P::ButtonRibbonover
                                                          : P::ButtonRibbonoff;
    drawPicture(p, app, m_bar.buttonRibbon);
    if (!m_logo.isNull() && !m_bar.logo.isEmpty()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(L::toPixels(m_bar.logo), m_logo);
    }
}

// The caption, centred in the caption bar, clipped to it.
void VelRibbon::paintCaption(QPainter& p) const
{
    p.save();
    p.setClipRect(L::toPixels(m_bar.barra));
    const RibbonCaptionParts parts = L::splitCaption(m_caption);
    drawText(p, m_bar.titulo, parts.first, m_colours.titulo, Qt::AlignLeft | Qt::AlignVCenter);
    if (m_bar.titulo2Visible)
        drawText(p, m_bar.titulo2, parts.second, m_colours.titulo2, Qt::AlignLeft | Qt::AlignVCenter);
    p.restore();
}

void VelRibbon::paintWindowButtons(QPainter& p) const
{
    drawPicture(p, m_highlight.part == Part::Minimise ? P::Minon : P::Minoff, m_bar.minButton);
    drawPicture(p, m_highlight.part == Part::Maximise ? P::Maxon : P::Maxoff, m_bar.maxButton);
    drawPicture(p, m_highlight.part == Part::Close ? P::Endon : P::Endoff, m_bar.endButton);
}

} // namespace k27
