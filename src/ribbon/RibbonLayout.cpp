#include "ribbon/RibbonLayout.h"

#include "ribbon/RibbonPicture.h"

#include <algorithm>
#include <cmath>

namespace k27 {

namespace P = RibbonPicture;

namespace {

// Large buttons: room around the icon and caption, and the slot kept for the icon
// so buttons without a picture line up with the others.
constexpr int ButtonPadding = 6 * RibbonLayout::TwipsPerPixel;
constexpr int ButtonMinCenter = 40 * RibbonLayout::TwipsPerPixel;
constexpr int ButtonIconTop = 3 * RibbonLayout::TwipsPerPixel;
constexpr int ButtonIconSlot = 32 * RibbonLayout::TwipsPerPixel;
constexpr int ButtonCaptionGap = 1 * RibbonLayout::TwipsPerPixel;

} // namespace

int RibbonLayout::toPixels(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel));
}

QRect RibbonLayout::toPixels(const QRect& r)
{
    // Convert the edges, not the size, so neighbours that touch in twips still touch.
    const int left = toPixels(r.x());
    const int top = toPixels(r.y());
    return QRect(left, top, toPixels(r.x() + r.width()) - left, toPixels(r.y() + r.height()) - top);
}

RibbonCaptionParts RibbonLayout::splitCaption(const QString& caption)
{
    RibbonCaptionParts parts;
    const qsizetype p = caption.indexOf(QStringLiteral(" - "));
    if (p < 0) {
        parts.first = caption;
        return parts;
    }
    parts.first = caption.left(p + 3);
    parts.second = caption.mid(p + 3);
    parts.split = true;
    return parts;
}

RibbonBarGeometry RibbonLayout::layOutBar(const RibbonBarInput& in)
{
    RibbonBarGeometry g;
    g.barHeight = P::heightTw(P::Barra2);
    g.barWidth = in.barWidth;

    g.barra2 = QRect(0, 0, g.barWidth, g.barHeight);
    g.barraLeft = QRect(0, 0, P::widthTw(P::BarraLeft), P::heightTw(P::BarraLeft));
    g.barraRight = QRect(g.barWidth - P::widthTw(P::BarraRight), 0, P::widthTw(P::BarraRight),
                         P::heightTw(P::BarraRight));

    g.buttonRibbon = QRect(0, 0, P::widthTw(P::ButtonRibbonoff), P::heightTw(P::ButtonRibbonoff));
    if (!in.logo.isEmpty()) {
        const int offset = (P::heightTw(P::ButtonRibbonoff) - in.logo.height()) / 2;
        g.logo = QRect(offset, offset, in.logo.width(), in.logo.height());
    }

    g.ribbonTop = QRect(P::widthTw(P::ButtonRibbonoff), 0, in.topButtonCount * TopButtonStep,
                        P::heightTw(P::RibbonTop));
    g.ribbonTopRight = QRect(g.ribbonTop.x() + g.ribbonTop.width(), 0, P::widthTw(P::RibbonTopRight),
                             P::heightTw(P::RibbonTopRight));
    g.ribbonTopCustom = QRect(g.ribbonTopRight.x() + g.ribbonTopRight.width(), 0, P::widthTw(P::RibbonTopCustom),
                              P::heightTw(P::RibbonTopCustom));

    g.customVisible = in.showCustomMenu;
    const int t = in.showCustomMenu ? g.ribbonTopCustom.x() + g.ribbonTopCustom.width()
                                    : g.ribbonTopRight.x() + g.ribbonTopRight.width();
    const int w = g.barWidth - t - 3 * P::widthTw(P::Endoff);
    g.barra = QRect(t, 0, w, CaptionBarHeight);

    const int captionTop = (CaptionBarHeight - in.captionHeight) / 2;
    if (in.captionSplit) {
        const int left = t + (w - (in.tituloWidth + in.titulo2Width)) / 2;
        g.titulo = QRect(left, captionTop, in.tituloWidth, in.captionHeight);
        g.titulo2 = QRect(left + in.tituloWidth, captionTop, in.titulo2Width, in.captionHeight);
        g.titulo2Visible = true;
    } else {
        g.titulo = QRect(t + (w - in.tituloWidth) / 2, captionTop, in.tituloWidth, in.captionHeight);
    }

    const int bw = P::widthTw(P::Endoff);
    const int bh = P::heightTw(P::Endoff);
    g.endButton = QRect(g.barra2.width() - bw, 0, bw, bh);
    g.maxButton = QRect(g.endButton.x() - P::widthTw(P::Maxoff), 0, P::widthTw(P::Maxoff), bh);
    g.minButton = QRect(g.maxButton.x() - P::widthTw(P::Minoff), 0, P::widthTw(P::Minoff), bh);
    return g;
}

std::vector<RibbonTabGeometry> RibbonLayout::buildTabRow(const std::vector<int>& captionWidths, int captionHeight)
{
    std::vector<RibbonTabGeometry> tabs;
    tabs.reserve(captionWidths.size());
    const int h = P::heightTw(P::Tab_left);
    for (std::size_t i = 0; i < captionWidths.size(); ++i) {
        RibbonTabGeometry g;
        const int left = i == 0 ? P::widthTw(P::ButtonRibbonoff) : tabs[i - 1].right.x() + P::widthTw(P::Tab_right);
        g.left = QRect(left, TabTop, P::widthTw(P::Tab_left), h);
        g.center = QRect(left + P::widthTw(P::Tab_left), TabTop, captionWidths[i], h);
        g.caption = QRect(g.center.x(), TabCaptionTop, captionWidths[i], captionHeight);
        g.right = QRect(g.center.x() + g.center.width(), TabTop, P::widthTw(P::Tab_right), h);
        g.overLeft = g.left;
        g.overCenter = g.center;
        g.overRight = g.right;
        g.mouse = QRect(left, TabTop, g.left.width() + g.center.width() + g.right.width(), h);
        tabs.push_back(g);
    }
    return tabs;
}

RibbonTopButtonGeometry RibbonLayout::topButton(const RibbonBarGeometry& bar, int n, QSize icon)
{
    RibbonTopButtonGeometry g;
    g.over = QRect(bar.ribbonTop.x() + (n - 1) * TopButtonStep, 0, P::widthTw(P::RibbonTop_over),
                   P::heightTw(P::RibbonTop_over));
    if (!icon.isEmpty())
        g.icon = QRect(g.over.x() + (g.over.width() - icon.width()) / 2, (g.over.height() - icon.height()) / 2,
                       icon.width(), icon.height());
    return g;
}

RibbonButtonGeometry RibbonLayout::placeButton(const RibbonButtonInput& in, int left, int top)
{
    RibbonButtonGeometry g;
    const int h = P::heightTw(P::Button_left);
    const int content = std::max(in.icon.isEmpty() ? 0 : in.icon.width(), in.captionWidth);
    const int centerWidth = std::max(
        content + 2 * ButtonPadding - P::widthTw(P::Button_left) - P::widthTw(P::Button_right), ButtonMinCenter);
    g.left = QRect(left, top, P::widthTw(P::Button_left), h);
    g.center = QRect(left + g.left.width(), top, centerWidth, h);
    g.right = QRect(g.center.x() + centerWidth, top, P::widthTw(P::Button_right), h);
    g.mouse = QRect(left, top, g.left.width() + centerWidth + g.right.width(), h);

    const int iconTop = top + ButtonIconTop;
    if (!in.icon.isEmpty())
        g.icon = QRect(g.mouse.x() + (g.mouse.width() - in.icon.width()) / 2,
                       iconTop + (ButtonIconSlot - in.icon.height()) / 2, in.icon.width(), in.icon.height());
    const int captionTop = iconTop + ButtonIconSlot + ButtonCaptionGap;
    g.caption = QRect(g.mouse.x() + (g.mouse.width() - in.captionWidth) / 2, captionTop, in.captionWidth,
                      in.captionHeight);
    if (in.more) {
        const int gw = P::widthTw(P::Glip_off);
        const int gh = P::heightTw(P::Glip_off);
        // Under the caption, but never below the button's frame.
        const int glipTop = std::min(captionTop + in.captionHeight + 2 * TwipsPerPixel,
                                     top + h - gh - 3 * TwipsPerPixel);
        g.glip = QRect(g.mouse.x() + (g.mouse.width() - gw) / 2, glipTop, gw, gh);
    }
    return g;
}

std::vector<RibbonCategoryGeometry> RibbonLayout::buildCategories(const std::vector<RibbonCategoryInput>& categories)
{
    std::vector<RibbonCategoryGeometry> out;
    out.reserve(categories.size());
    const int h = P::heightTw(P::Cat_Left_off);
    for (std::size_t j = 0; j < categories.size(); ++j) {
        const RibbonCategoryInput& in = categories[j];
        RibbonCategoryGeometry g;
        const int left = j == 0 ? FirstCategoryLeft : out[j - 1].right.x() + out[j - 1].right.width();
        g.left = QRect(left, CategoryTop, P::widthTw(P::Cat_Left_off), h);
        const int centerLeft = left + g.left.width();

        int x = centerLeft;
        for (const RibbonButtonInput& b : in.buttons) {
            g.buttons.push_back(placeButton(b, x, CategoryTop + ButtonTopOffset));
            x += g.buttons.back().mouse.width();
        }
        g.buttonsWidth = x - centerLeft;

        int centerWidth = in.captionWidth + (in.dialogButton ? P::widthTw(P::Cat_Dlg) : 0);
        int captionLeft = centerLeft;
        if (centerWidth < g.buttonsWidth) {
            centerWidth = g.buttonsWidth;
            captionLeft = centerLeft + (centerWidth - in.captionWidth) / 2;
        }
        g.center = QRect(centerLeft, CategoryTop, centerWidth, h);
        g.right = QRect(centerLeft + centerWidth, CategoryTop, P::widthTw(P::Cat_Right_off), h);
        g.caption = QRect(captionLeft, CategoryTop + CategoryBandTop + (CategoryBandHeight - in.captionHeight) / 2,
                          in.captionWidth, in.captionHeight);
        g.mouse = QRect(left, CategoryTop, g.left.width() + g.center.width() + g.right.width(), h);
        if (in.dialogButton)
            g.dialog = QRect(g.right.x() - P::widthTw(P::Cat_Dlg) + 15,
                             g.right.y() + g.right.height() - (P::heightTw(P::Cat_Dlg) + 60), P::widthTw(P::Cat_Dlg),
                             P::heightTw(P::Cat_Dlg));
        out.push_back(std::move(g));
    }
    return out;
}

} // namespace k27
