#include "ribbon/VelRibbon.h"

#include "ribbon/RibbonHitArea.h"
#include "ribbon/RibbonSizes.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLayout>
#include <QMouseEvent>
#include <QWindow>

#include <algorithm>

namespace k27 {

namespace P = RibbonPicture;
using L = RibbonLayout;
using namespace ribbon;

VelRibbon::VelRibbon(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VelRibbon1"));
    setFixedHeight(BarHeightPixels);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);

    // The captions are Chinese as often as not: prefer a font that has the glyphs
    // and looks the same for Latin text, fall back to whatever the system offers.
    m_font = font();
    m_font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
                        QStringLiteral("Noto Sans CJK SC"), QStringLiteral("DejaVu Sans")});
    m_font.setPixelSize(12);
    setFont(m_font);

    m_colours = RibbonTheme::colours(m_theme);

    // Fixed hit areas, in stacking order (later ones lie above earlier ones).
    m_barra = makeHitArea(QStringLiteral("Barra"), -1, {});
    m_appButton = makeHitArea(QStringLiteral("ButtonRibbon"), -1, {Part::AppButton, -1});
    m_custom = makeHitArea(QStringLiteral("RibbonTopCustom"), -1, {Part::Custom, -1});
    m_min = makeHitArea(QStringLiteral("Minoff"), -1, {Part::Minimise, -1});
    m_max = makeHitArea(QStringLiteral("Maxoff"), -1, {Part::Maximise, -1});
    m_end = makeHitArea(QStringLiteral("Endoff"), -1, {Part::Close, -1});

    connect(m_barra, &RibbonHitArea::pressed, this, &VelRibbon::startDrag);
    connect(m_barra, &RibbonHitArea::moved, this, &VelRibbon::dragTo);
    connect(m_barra, &RibbonHitArea::released, this, [this] { m_dragArmed = m_dragging = false; });
    connect(m_barra, &RibbonHitArea::doubleClicked, this, &VelRibbon::toggleMaximised);

    connect(m_appButton, &RibbonHitArea::pressed, this, [this] { setPressed({Part::AppButton, -1}); });
    connect(m_appButton, &RibbonHitArea::released, this, [this] { setPressed({}); });
    connect(m_appButton, &RibbonHitArea::clicked, this, &VelRibbon::MainMenuClick);
    connect(m_custom, &RibbonHitArea::clicked, this, &VelRibbon::CustomClick);

    connect(m_min, &RibbonHitArea::clicked, this, [this] {
        setHighlight({});
        window()->showMinimized();
    });
    connect(m_max, &RibbonHitArea::clicked, this, &VelRibbon::toggleMaximised);
    connect(m_end, &RibbonHitArea::clicked, this, [this] {
        setHighlight({});
        // close() runs the host's own close sequence (closeEvent), which may refuse.
        window()->close();
    });

    // Group 0 of the repeated elements exists from the start, hidden until used.
    m_tabMouse.push_back(makeHitArea(QStringLiteral("TabMouse"), 0, {Part::Tab, 0}));
    m_catMouse.push_back(makeHitArea(QStringLiteral("CatMouse"), 0, {Part::Category, 0}));
    m_catDlg.push_back(makeHitArea(QStringLiteral("Cat_Dlg"), 0, {Part::CategoryDialog, 0}));
    m_butMouse.push_back(makeHitArea(QStringLiteral("ButMouse"), 0, {Part::Button, 0}));
    for (QWidget* w : {static_cast<QWidget*>(m_tabMouse[0]), static_cast<QWidget*>(m_catMouse[0]),
                       static_cast<QWidget*>(m_catDlg[0]), static_cast<QWidget*>(m_butMouse[0])})
        w->hide();

    layOutBar();
    buildTabRow();
    buildCategories();
}

VelRibbon::~VelRibbon() = default;

QSize VelRibbon::sizeHint() const
{
    return QSize(800, BarHeightPixels);
}

QSize VelRibbon::minimumSizeHint() const
{
    return QSize(0, BarHeightPixels);
}

RibbonHitArea* VelRibbon::makeHitArea(const QString& name, int index, Element element)
{
    auto* area = new RibbonHitArea(name, index, this);
    if (element.part == Part::None) {
        // The caption bar highlights nothing; moving over it clears every highlight.
        connect(area, &RibbonHitArea::entered, this, [this] { setHighlight({}); });
    } else {
        connect(area, &RibbonHitArea::entered, this, [this, element] { setHighlight(element); });
        connect(area, &RibbonHitArea::left, this, [this, element] { clearHighlightOf(element); });
    }
    const int i = element.index;
    switch (element.part) {
    case Part::Tab: connect(area, &RibbonHitArea::clicked, this, [this, i] { selectTab(i); }); break;
    case Part::TopButton:
        connect(area, &RibbonHitArea::clicked, this, [this, i] {
            const TopEntry& t = m_topButtons.at(i - 1);
            emit MenuClick(t.id, t.caption);
        });
        break;
    case Part::Category:
        // A click only highlights the category (its frame stays lit); no event.
        connect(area, &RibbonHitArea::clicked, this, [this, i] { setHighlight({Part::Category, i}); });
        break;
    case Part::CategoryDialog:
        connect(area, &RibbonHitArea::clicked, this, [this, i] {
            const CatEntry& c = m_cats.at(m_shownCats.at(i));
            emit CatClick(c.id, c.caption);
        });
        break;
    case Part::Button:
        connect(area, &RibbonHitArea::pressed, this, [this, i] { setPressed({Part::Button, i}); });
        connect(area, &RibbonHitArea::released, this, [this] { setPressed({}); });
        connect(area, &RibbonHitArea::clicked, this, [this, i] {
            const ButtonEntry& b = m_buttons.at(m_shownButtons.at(i));
            emit ButtonClick(b.id, b.caption);
        });
        break;
    default: break;
    }
    return area;
}

// ---------------------------------------------------------------- errors

bool VelRibbon::refuse(RibbonError why, RibbonError* out, const QString& text)
{
    m_lastError = why;
    m_lastErrorText = text;
    if (out)
        *out = why;
    return false;
}

void VelRibbon::succeed(RibbonError* out)
{
    m_lastError = RibbonError::None;
    m_lastErrorText.clear();
    if (out)
        *out = RibbonError::None;
}

// ---------------------------------------------------------------- properties

void VelRibbon::setCaption(const QString& caption)
{
    succeed(nullptr);
    m_caption = caption;
    layOutBar();
}

void VelRibbon::setTheme(int theme, RibbonError* error)
{
    m_theme = theme;
    LoadTheme(theme, error);
}

void VelRibbon::setShowCustomMenu(bool show)
{
    succeed(nullptr);
    m_showCustomMenu = show; // takes effect at the next layout
}

void VelRibbon::setImageList(const ImageList& images)
{
    succeed(nullptr);
    m_images = images;
}

void VelRibbon::setIcon(int index, RibbonError* error)
{
    if (!m_images.contains(index)) {
        refuse(RibbonError::NoSuchImage, error, QStringLiteral("Icon: the image list holds no picture %1").arg(index));
        return;
    }
    succeed(error);
    m_logo = m_images.picture(index);
    layOutBar();
}

QPixmap VelRibbon::themePicture(int id) const
{
    if (id < P::First || id > P::Last)
        return QPixmap();
    return pic(id);
}

// ---------------------------------------------------------------- methods

int VelRibbon::AddTab(const QString& zID, const QString& zCaption, RibbonError* error)
{
    if (tabCount() >= MaxTabs) {
        refuse(RibbonError::TableFull, error, QStringLiteral("AddTab: no room for more than %1 tabs").arg(MaxTabs));
        return 0;
    }
    succeed(error);
    m_tabs.push_back({zID, oneLine(zCaption)});
    if (tabCount() == 1) {
        m_selectedTab = 0;
        m_currentTabId = zID;
    }
    return 0;
}

int VelRibbon::AddCat(const QString& zID, const QString& zTab, const QString& zCaption, bool zDlgButton,
                      RibbonError* error)
{
    if (categoryCount() >= MaxCategories) {
        refuse(RibbonError::TableFull, error,
               QStringLiteral("AddCat: no room for more than %1 categories").arg(MaxCategories));
        return 0;
    }
    succeed(error);
    m_cats.push_back({zID, zTab, oneLine(zCaption), zDlgButton});
    return 0;
}

int VelRibbon::AddButton(const QString& zID, const QString& zSubCat, const QString& zCaption, int zPicture, bool zMore,
                         const QString& zToolTip, RibbonError* error)
{
    if (buttonCount() >= MaxButtons) {
        refuse(RibbonError::TableFull, error,
               QStringLiteral("AddButton: no room for more than %1 buttons").arg(MaxButtons));
        return 0;
    }
    if (!m_images.contains(zPicture)) {
        refuse(RibbonError::NoSuchImage, error,
               QStringLiteral("AddButton: the image list holds no picture %1").arg(zPicture));
        return 0;
    }
    succeed(error);
    m_buttons.push_back({zID, zSubCat, zCaption, zPicture, zMore, oneLine(zToolTip.isEmpty() ? zCaption : zToolTip)});
    return 0;
}

int VelRibbon::AddTopButton(const QString& zID, const QString& zCaption, int zPicture, RibbonError* error)
{
    if (topButtonCount() >= MaxTopButtons) {
        refuse(RibbonError::TableFull, error,
               QStringLiteral("AddTopButton: no room for more than %1 top buttons").arg(MaxTopButtons));
        return 0;
    }
    if (!m_images.contains(zPicture)) {
        refuse(RibbonError::NoSuchImage, error,
               QStringLiteral("AddTopButton: the image list holds no picture %1").arg(zPicture));
        return 0;
    }
    succeed(error);
    m_topButtons.push_back({zID, zCaption, zPicture});
    layOutBar(); // the strip grows at once, and the caption bar shrinks with it
    return 0;
}

int VelRibbon::Refresh()
{
    succeed(nullptr);
    layOutBar();
    buildTabRow();
    buildCategories();
    return 0;
}

int VelRibbon::Resize()
{
    succeed(nullptr);
    QWidget* host = window();
    // Managed by the host's layout, the layout gives the width; otherwise follow
    // the host's inner width ourselves.
    const bool managed = parentWidget() && parentWidget()->layout() && parentWidget()->layout()->indexOf(this) >= 0;
    if (host != this && !managed)
        resize(host->width(), BarHeightPixels);
    layOutBar();
    return 0;
}

int VelRibbon::LoadTheme(int iTema, RibbonError* error)
{
    const QString name = RibbonTheme::name(iTema);
    m_colours = RibbonTheme::colours(iTema);
    RibbonError first = RibbonError::None;
    QString firstText;
    for (int id = P::First; id <= P::Last; ++id) {
        RibbonError e = RibbonError::None;
        QString text;
        const QPixmap pm = RibbonTheme::loadResPicture(id, name, &e, &text);
        if (pm.isNull()) {
            // Keep the previous picture and go on: the rest of the theme still applies.
            if (first == RibbonError::None) {
                first = e;
                firstText = text;
            }
            continue;
        }
        m_pictures[id - P::First] = pm;
    }
    if (first != RibbonError::None)
        refuse(first, error, firstText);
    else
        succeed(error);
    update();
    return 0;
}

QPixmap VelRibbon::LoadResPicture(int ID, const QString& Format, RibbonError* error)
{
    RibbonError e = RibbonError::None;
    QString text;
    const QPixmap pm = RibbonTheme::loadResPicture(ID, Format, &e, &text);
    if (pm.isNull())
        refuse(e, error, text);
    else
        succeed(error);
    return pm;
}

// ---------------------------------------------------------------- behaviour

void VelRibbon::selectTab(int i)
{
    if (i < 0 || i >= tabCount())
        return;
    m_selectedTab = i;
    m_currentTabId = m_tabs[i].id;
    if (m_highlight.part == Part::Tab)
        m_highlight = {};
    buildCategories();
    update();
    const TabEntry t = m_tabs[i]; // a copy: the handler may add tabs
    emit TabClick(t.id, t.caption);
}

void VelRibbon::toggleMaximised()
{
    QWidget* host = window();
    if (host->isMaximized())
        host->showNormal();
    else
        host->showMaximized();
    setHighlight({});
    layOutBar();
}

void VelRibbon::setHighlight(Element e)
{
    if (m_highlight == e)
        return;
    m_highlight = e;
    update();
}

void VelRibbon::clearHighlightOf(Element e)
{
    if (m_highlight == e)
        setHighlight({});
}

void VelRibbon::setPressed(Element e)
{
    if (m_pressed == e)
        return;
    m_pressed = e;
    update();
}

void VelRibbon::startDrag(QPoint globalPos)
{
    m_dragArmed = true;
    m_dragging = false;
    m_dragStart = globalPos;
    m_windowStart = window()->pos();
}

void VelRibbon::dragTo(QPoint globalPos, bool buttonDown)
{
    setHighlight({});
    if (!buttonDown || !m_dragArmed) {
        m_dragArmed = m_dragging = false;
        return;
    }
    QWidget* host = window();
    if (host->isMaximized() || host->isFullScreen())
        return; // a maximised window stays where it is
    if (!m_dragging) {
        // Start only past the drag distance, so a double-click still reaches us.
        if ((globalPos - m_dragStart).manhattanLength() < QApplication::startDragDistance())
            return;
        // Prefer the window system's own move: it handles snapping and works on Wayland.
        if (QWindow* handle = host->windowHandle(); handle && handle->startSystemMove()) {
            m_dragArmed = false;
            return;
        }
        m_dragging = true;
    }
    host->move(m_windowStart + (globalPos - m_dragStart));
}

void VelRibbon::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // Keep the layout right even if the host forgets to call Resize().
    if (L::toTwips(width()) != m_bar.barWidth)
        layOutBar();
}

void VelRibbon::mouseMoveEvent(QMouseEvent* event)
{
    // Over the background, the edges or the strip end: nothing is highlighted.
    setHighlight({});
    QWidget::mouseMoveEvent(event);
}

void VelRibbon::leaveEvent(QEvent* event)
{
    setHighlight({});
    QWidget::leaveEvent(event);
}

} // namespace k27
