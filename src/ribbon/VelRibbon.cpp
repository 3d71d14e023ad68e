#include "ribbon/VelRibbon.h"

#include "ribbon/RibbonHitArea.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace k27 {

namespace P = RibbonPicture;
using L = RibbonLayout;

namespace {

QString oneLine(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
}

QStringList captionLines(const QString& caption)
{
    QString text = caption;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.split(QLatin1Char('\n'));
}

// Pictures from the image list are shown at most at this size (pixels).
QSize fitted(const QPixmap& pm, int maxSide)
{
    if (pm.isNull())
        return QSize();
    QSize s = pm.deviceIndependentSize().toSize();
    if (s.width() > maxSide || s.height() > maxSide)
        s.scale(maxSide, maxSide, Qt::KeepAspectRatio);
    return s;
}

QSize toTwips(QSize px)
{
    return px.isEmpty() ? QSize() : px * L::TwipsPerPixel;
}

} // namespace

VelRibbon::VelRibbon(QWidget* parent)
    : QWidget(parent)
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
    case Part::Tab:
        connect(area, &RibbonHitArea::clicked, this, [this, i] { selectTab(i); });
        break;
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
    default:
        break;
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

int VelRibbon::AddCat(const QString& zID, const QString& zTab, const QString& zCaption, bool zDlgButton, RibbonError* error)
{
    if (categoryCount() >= MaxCategories) {
        refuse(RibbonError::TableFull, error, QStringLiteral("AddCat: no room for more than %1 categories").arg(MaxCategories));
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
        refuse(RibbonError::TableFull, error, QStringLiteral("AddButton: no room for more than %1 buttons").arg(MaxButtons));
        return 0;
    }
    if (!m_images.contains(zPicture)) {
        refuse(RibbonError::NoSuchImage, error, QStringLiteral("AddButton: the image list holds no picture %1").arg(zPicture));
        return 0;
    }
    succeed(error);
    m_buttons.push_back({zID, zSubCat, zCaption, zPicture, zMore, oneLine(zToolTip.isEmpty() ? zCaption : zToolTip)});
    return 0;
}

int VelRibbon::AddTopButton(const QString& zID, const QString& zCaption, int zPicture, RibbonError* error)
{
    if (topButtonCount() >= MaxTopButtons) {
        refuse(RibbonError::TableFull, error, QStringLiteral("AddTopButton: no room for more than %1 top buttons").arg(MaxTopButtons));
        return 0;
    }
    if (!m_images.contains(zPicture)) {
        refuse(RibbonError::NoSuchImage, error, QStringLiteral("AddTopButton: the image list holds no picture %1").arg(zPicture));
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

// ---------------------------------------------------------------- layout

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
    m_catGeometry = L::buildCategories(inputs);

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

    // Every button shows its frame only while hovered or pressed.
    if (m_highlight.part == Part::Button || m_highlight.part == Part::Category || m_highlight.part == Part::CategoryDialog)
        m_highlight = {};
    m_pressed = {};
    update();
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

// ---------------------------------------------------------------- painting

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

    // Background and edges
    if (pic(P::Barra2).isNull())
        p.fillRect(rect(), palette().window());
    drawPicture(p, P::Barra2, m_bar.barra2);
    drawPicture(p, P::BarraLeft, m_bar.barraLeft);
    drawPicture(p, P::BarraRight, m_bar.barraRight);

    // Tab row
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

    // Categories of the current tab and their buttons
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

        for (const RibbonButtonGeometry& bg : g.buttons) {
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
            ++k;
        }
    }

    // Quick-access strip
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
        drawPicture(p, m_highlight.part == Part::Custom ? P::RibbonTopCustom_over : P::RibbonTopCustom, m_bar.ribbonTopCustom);

    // Application button and logo
    const int app = m_pressed.part == Part::AppButton      ? P::ButtonRibbonon
                    : m_highlight.part == Part::AppButton ? P::ButtonRibbonover
                                                          : P::ButtonRibbonoff;
    drawPicture(p, app, m_bar.buttonRibbon);
    if (!m_logo.isNull() && !m_bar.logo.isEmpty()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(L::toPixels(m_bar.logo), m_logo);
    }

    // Caption, centred in the caption bar, clipped to it
    p.save();
    p.setClipRect(L::toPixels(m_bar.barra));
    const RibbonCaptionParts parts = L::splitCaption(m_caption);
    drawText(p, m_bar.titulo, parts.first, m_colours.titulo, Qt::AlignLeft | Qt::AlignVCenter);
    if (m_bar.titulo2Visible)
        drawText(p, m_bar.titulo2, parts.second, m_colours.titulo2, Qt::AlignLeft | Qt::AlignVCenter);
    p.restore();

    // Window buttons
    drawPicture(p, m_highlight.part == Part::Minimise ? P::Minon : P::Minoff, m_bar.minButton);
    drawPicture(p, m_highlight.part == Part::Maximise ? P::Maxon : P::Maxoff, m_bar.maxButton);
    drawPicture(p, m_highlight.part == Part::Close ? P::Endon : P::Endoff, m_bar.endButton);
}

} // namespace k27
