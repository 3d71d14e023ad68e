#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <vector>

namespace k27 {

// Everything the ribbon bar needs to place itself, measured by the caller.
// All values are twips (15 per pixel); text widths come from the bar's font.
struct RibbonBarInput
{
    int barWidth = 0; // inner width of the host window
    bool showCustomMenu = false;
    int topButtonCount = 0;
    int tituloWidth = 0;       // first caption part (the whole caption when not split)
    int titulo2Width = 0;      // second caption part
    bool captionSplit = false; // the caption contains " - "
    int captionHeight = 0;     // height of one caption line
    QSize logo;                // size of the logo picture; empty when there is none
};

struct RibbonBarGeometry
{
    int barWidth = 0;
    int barHeight = 0;
    QRect barra2, barraLeft, barraRight;
    QRect buttonRibbon; // application button (hit area and its three pictures)
    QRect logo;
    QRect ribbonTop, ribbonTopRight, ribbonTopCustom;
    bool customVisible = false;
    QRect barra; // caption bar: drag and double-click
    QRect titulo, titulo2;
    bool titulo2Visible = false;
    QRect minButton, maxButton, endButton;
};

struct RibbonTabGeometry
{
    QRect left, center, right;             // selected frame
    QRect overLeft, overCenter, overRight; // hover frame
    QRect caption;
    QRect mouse; // hit area
};

struct RibbonTopButtonGeometry
{
    QRect over; // hover picture, also the hit area
    QRect icon;
};

struct RibbonButtonInput
{
    int captionWidth = 0;  // widest caption line
    int captionHeight = 0; // all caption lines
    QSize icon;            // picture size; empty when the button has none
    bool more = false;     // shows the more-options arrow
};

struct RibbonButtonGeometry
{
    QRect left, center, right; // frame pieces (hovered and pressed frames alike)
    QRect icon, caption, glip;
    QRect mouse;
};

struct RibbonCategoryInput
{
    int captionWidth = 0;
    int captionHeight = 0;
    bool dialogButton = false;
    std::vector<RibbonButtonInput> buttons;
};

struct RibbonCategoryGeometry
{
    QRect left, center, right; // frame pieces (normal and hovered alike)
    QRect caption;
    QRect dialog; // launcher; empty without one
    QRect mouse;
    int buttonsWidth = 0; // B: the buttons side by side
    std::vector<RibbonButtonGeometry> buttons;
};

// The two caption parts: split after the first " - " so the part after it can be
// drawn in the second colour.
struct RibbonCaptionParts
{
    QString first;
    QString second;
    bool split = false;
};

// Layout arithmetic of the ribbon bar, free of widgets so it can be checked on
// plain numbers. Positions are relative to the bar's top-left corner.
class RibbonLayout
{
public:
    static constexpr int TwipsPerPixel = 15;
    static constexpr int BarHeight = 142 * TwipsPerPixel;
    static constexpr int CaptionBarHeight = 26 * TwipsPerPixel;
    static constexpr int TopButtonStep = 330;
    static constexpr int TabTop = 395;
    static constexpr int TabCaptionTop = 455;
    static constexpr int CategoryTop = 52 * TwipsPerPixel;
    static constexpr int FirstCategoryLeft = 120;
    static constexpr int ButtonTopOffset = 60;
    static constexpr int CategoryBandTop = 70 * TwipsPerPixel; // caption band inside a frame
    static constexpr int CategoryBandHeight = 18 * TwipsPerPixel;

    static int toPixels(int twips);
    static QRect toPixels(const QRect& twips);
    static int toTwips(int pixels) { return pixels * TwipsPerPixel; }

    static RibbonCaptionParts splitCaption(const QString& caption);

    static RibbonBarGeometry layOutBar(const RibbonBarInput& in);
    static std::vector<RibbonTabGeometry> buildTabRow(const std::vector<int>& captionWidths, int captionHeight);
    // Top button n (1-based) in a bar laid out as `bar`.
    static RibbonTopButtonGeometry topButton(const RibbonBarGeometry& bar, int n, QSize icon);
    static std::vector<RibbonCategoryGeometry> buildCategories(const std::vector<RibbonCategoryInput>& categories);

private:
    static RibbonButtonGeometry placeButton(const RibbonButtonInput& in, int left, int top);
};

} // namespace k27
