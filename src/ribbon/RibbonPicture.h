#pragma once

#include <QSize>

namespace k27 {

// The 40 pictures every ribbon theme holds, by resource number. All three themes
// share the sizes, so the layout can be computed before any picture is loaded.
namespace RibbonPicture {

enum Id : int {
    Barra2 = 101,
    BarraLeft = 102,
    BarraRight = 103,
    Minoff = 104,
    Minon = 105,
    Maxoff = 106,
    Maxon = 107,
    Endoff = 108,
    Endon = 109,
    ButtonRibbonoff = 110,
    ButtonRibbonover = 111,
    ButtonRibbonon = 112,
    RibbonTop = 113,
    RibbonTopRight = 114,
    RibbonTopCustom = 115,
    RibbonTopCustom_over = 116,
    RibbonTop_over = 117,
    Cat_Dlg = 118,
    Cat_Dlg_on = 119,
    Cat_Dlg_over = 120,
    Cat_Left_off = 121,
    Cat_Center_off = 122,
    Cat_Right_off = 123,
    Cat_Left_on = 124,
    Cat_Center_on = 125,
    Cat_Right_on = 126,
    Tab_left = 127,
    Tab_center = 128,
    Tab_right = 129,
    Tab_left_over = 130,
    Tab_center_over = 131,
    Tab_right_over = 132,
    Glip_off = 133,
    Glip_on = 134,
    Button_left_over = 135,
    Button_center_over = 136,
    Button_right_over = 137,
    Button_left = 138,
    Button_center = 139,
    Button_right = 140,
};

constexpr int First = 101;
constexpr int Last = 140;
constexpr int Count = Last - First + 1;

// Size in pixels of picture `id`; an invalid size for numbers outside 101..140.
constexpr QSize size(int id)
{
    constexpr int sizes[Count][2] = {
        {11, 142}, {7, 142}, {7, 142},                               // 101-103
        {40, 23},  {40, 23}, {40, 23}, {40, 23}, {40, 23}, {40, 23}, // 104-109
        {49, 45},  {49, 45}, {49, 45},                               // 110-112
        {18, 26},  {13, 26}, {15, 26}, {15, 26}, {22, 26},           // 113-117
        {15, 14},  {15, 14}, {15, 14},                               // 118-120
        {4, 89},   {5, 89},  {5, 89},  {4, 89},  {4, 89},  {5, 89},  // 121-126
        {10, 24},  {18, 24}, {10, 24}, {10, 24}, {37, 24}, {10, 24}, // 127-132
        {5, 4},    {5, 4},                                           // 133-134
        {3, 66},   {49, 66}, {3, 66},  {3, 66},  {49, 66}, {3, 66},  // 135-140
    };
    if (id < First || id > Last)
        return QSize();
    return QSize(sizes[id - First][0], sizes[id - First][1]);
}

// Width and height in twips (15 per pixel), the unit of the layout.
constexpr int widthTw(int id)
{
    return size(id).width() * 15;
}
constexpr int heightTw(int id)
{
    return size(id).height() * 15;
}

} // namespace RibbonPicture
} // namespace k27
