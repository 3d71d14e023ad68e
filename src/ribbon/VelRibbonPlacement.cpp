#include "ribbon/VelRibbon.h"

#include "ribbon/RibbonHitArea.h"
#include "ribbon/RibbonSizes.h"

#include <QFontMetrics>

#include <algorithm>

// Placing the ribbon's hit areas: the bar, the tab row and the categories of the current tab.
namespace k27 {

using L = RibbonLayout;
using namespace ribbon;

int VelRibbon::textWidth(const QString& text) const
{
    return L::toTwips(QFontMetrics(m_font).horizontalAdvance(text));
}

int VelRibbon::lineHeight() const
{
    return L::toTwips(QFontMetrics(m_font).height());
}

int VelRibbon::buttonLineHeight() const
{
    // Two caption lines must fit under the icon inside the 66-pixel button frame.
    const QFontMetrics fm(m_font);
    return L::toTwips(std::max(fm.height() - 2, fm.ascent() + 1));
}

void VelRibbon::place(QWidget* w, const QRect& twips) const
{
    w->setGeometry(L::toPixels(twips));
}

void VelRibbon::layOutBar()
{
    const RibbonCaptionParts parts = L::splitCaption(m_caption);
    RibbonBarInput in;
    in.barWidth = L::toTwips(width());
    in.showCustomMenu = m_showCustomMenu;
    in.topButtonCount = topButtonCount();
    in.tituloWidth = textWidth(parts.first);
    in.titulo2Width = parts.split ? textWidth(parts.second) : 0;
    in.captionSplit = parts.split;
    in.captionHeight = lineHeight();
    in.logo = toTwips(fitted(m_logo, 40));
    m_bar = L::layOutBar(in);

    place(m_barra, m_bar.barra);
    place(m_appButton, m_bar.buttonRibbon);
    place(m_custom, m_bar.ribbonTopCustom);
    m_custom->setVisible(m_bar.customVisible);
    place(m_min, m_bar.minButton);
    place(m_max, m_bar.maxButton);
    place(m_end, m_bar.endButton);
    for (int n = 1; n <= topButtonCount(); ++n)
        placeTopButton(n);
    update();
}

void VelRibbon::placeTopButton(int n)
{
    while (static_cast<int>(m_tbMouse.size()) < n) {
        const int k = static_cast<int>(m_tbMouse.size()) + 1;
        m_tbMouse.push_back(makeHitArea(QStringLiteral("TBMouse"), k, {Part::TopButton, k}));
    }
    const TopEntry& t = m_topButtons.at(n - 1);
    RibbonHitArea* area = m_tbMouse[n - 1];
    place(area, L::topButton(m_bar, n, QSize()).over);
    area->setToolTip(oneLine(t.caption));
    area->setAccessibleName(oneLine(t.caption));
    area->show();
    area->raise();
}

void VelRibbon::buildTabRow()
{
    std::vector<int> widths;
    widths.reserve(m_tabs.size());
    for (const TabEntry& t : m_tabs)
        widths.push_back(textWidth(t.caption));
    m_tabGeometry = L::buildTabRow(widths, lineHeight());

    // Groups are kept once made, hidden when unused, so a rebuild from inside a
    // click handler never deletes the hit area that is reporting the click.
    for (int i = static_cast<int>(m_tabMouse.size()); i < tabCount(); ++i)
        m_tabMouse.push_back(makeHitArea(QStringLiteral("TabMouse"), i, {Part::Tab, i}));
    for (int i = 0; i < static_cast<int>(m_tabMouse.size()); ++i) {
        RibbonHitArea* area = m_tabMouse[i];
        if (i >= tabCount()) {
            area->hide();
            continue;
        }
        place(area, m_tabGeometry[i].mouse);
        area->setAccessibleName(m_tabs[i].caption);
        area->setProperty("tabId", m_tabs[i].id);
        area->show();
        area->raise();
    }
    m_builtTabs = tabCount();
    update();
}

void VelRibbon::buildCategories()
{
    m_catGeometry = L::buildCategories(collectCategories());
    placeCategoryAreas();
    // Every button shows its frame only while hovered or pressed.
    if (m_highlight.part == Part::Button || m_highlight.part == Part::Category
        || m_highlight.part == Part::CategoryDialog)
        m_highlight = {};
    m_pressed = {};
    update();
}

// The categories of the current tab with their buttons, noting which table entries are shown.
std::vector<RibbonCategoryInput> VelRibbon::collectCategories()
{
    m_shownCats.clear();
    m_shownButtons.clear();
    m_buttonGroupCat.clear();
    std::vector<RibbonCategoryInput> inputs;
    if (!m_currentTabId.isEmpty()) {
        for (int c = 0; c < categoryCount(); ++c) {
            const CatEntry& cat = m_cats[c];
            if (cat.tab.isEmpty() || cat.tab != m_currentTabId)
                continue;
            RibbonCategoryInput in;
            in.captionWidth = textWidth(cat.caption);
            in.captionHeight = lineHeight();
            in.dialogButton = cat.dialog;
            for (int b = 0; b < buttonCount(); ++b) {
                const ButtonEntry& button = m_buttons[b];
                if (button.cat != cat.id)
                    continue;
                const QStringList lines = captionLines(button.caption);
                RibbonButtonInput bi;
                for (const QString& line : lines)
                    bi.captionWidth = std::max(bi.captionWidth, textWidth(line));
                bi.captionHeight = buttonLineHeight() * static_cast<int>(lines.size());
                bi.icon = toTwips(fitted(m_images.picture(button.picture), 32));
                bi.more = button.more;
                in.buttons.push_back(bi);
                m_shownButtons.push_back(b);
                m_buttonGroupCat.push_back(static_cast<int>(m_shownCats.size()));
            }
            m_shownCats.push_back(c);
            inputs.push_back(std::move(in));
        }
    }
    return inputs;
}

// Category, dialog and button hit areas over the geometry; groups not needed are hidden.
void VelRibbon::placeCategoryAreas()
{
    const int cats = static_cast<int>(m_shownCats.size());
    const int buttons = static_cast<int>(m_shownButtons.size());
    for (int j = static_cast<int>(m_catMouse.size()); j < cats; ++j) {
        m_catMouse.push_back(makeHitArea(QStringLiteral("CatMouse"), j, {Part::Category, j}));
        m_catDlg.push_back(makeHitArea(QStringLiteral("Cat_Dlg"), j, {Part::CategoryDialog, j}));
    }
    for (int k = static_cast<int>(m_butMouse.size()); k < buttons; ++k)
        m_butMouse.push_back(makeHitArea(QStringLiteral("ButMouse"), k, {Part::Button, k}));

    for (int j = 0; j < static_cast<int>(m_catMouse.size()); ++j) {
        if (j >= cats) {
            m_catMouse[j]->hide();
            m_catDlg[j]->hide();
            continue;
        }
        const CatEntry& cat = m_cats[m_shownCats[j]];
        const RibbonCategoryGeometry& g = m_catGeometry[j];
        place(m_catMouse[j], g.mouse);
        m_catMouse[j]->setProperty("categoryId", cat.id);
        m_catMouse[j]->setAccessibleName(cat.caption);
        m_catMouse[j]->show();
        m_catMouse[j]->raise();
        m_catDlg[j]->setVisible(cat.dialog);
        if (cat.dialog) {
            place(m_catDlg[j], g.dialog);
            m_catDlg[j]->setAccessibleName(cat.caption);
        }
    }
    int k = 0;
    for (int j = 0; j < cats; ++j) {
        for (const RibbonButtonGeometry& bg : m_catGeometry[j].buttons) {
            const ButtonEntry& b = m_buttons[m_shownButtons[k]];
            RibbonHitArea* area = m_butMouse[k];
            place(area, bg.mouse);
            area->setProperty("buttonId", b.id);
            area->setToolTip(b.toolTip);
            area->setAccessibleName(b.toolTip);
            area->show();
            area->raise();
            ++k;
        }
    }
    for (int rest = k; rest < static_cast<int>(m_butMouse.size()); ++rest)
        m_butMouse[rest]->hide();
    for (int j = 0; j < cats; ++j)
        if (m_catDlg[j]->isVisible())
            m_catDlg[j]->raise();
}

} // namespace k27
