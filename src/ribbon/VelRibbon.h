#pragma once

#include "ribbon/ImageList.h"
#include "ribbon/RibbonError.h"
#include "ribbon/RibbonLayout.h"
#include "ribbon/RibbonPicture.h"
#include "ribbon/RibbonTheme.h"

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <array>
#include <vector>

namespace k27 {

class RibbonHitArea;

// The ribbon bar that heads the main window in place of its title bar: application
// button with the logo, quick-access strip, caption, window buttons, a row of tabs
// and, under the selected tab, its categories of large buttons.
//
// The host builds it through the methods below (each returns 0, like the rest of
// the program expects); a refused call reports why through `error` and lastError().
// Clicks come back as the six signals. The window buttons and the caption bar act
// on window(), which should be frameless.
class VelRibbon : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
    Q_PROPERTY(int Theme READ theme WRITE setTheme)
    Q_PROPERTY(bool ShowCustomMenu READ showCustomMenu WRITE setShowCustomMenu)

public:
    static constexpr int MaxTabs = 31;
    static constexpr int MaxCategories = 31;
    static constexpr int MaxTopButtons = 31;
    static constexpr int MaxButtons = 91;
    static constexpr int BarHeightPixels = 142;

    // What is highlighted (hovered) or pressed; at most one element at a time.
    enum class Part {
        None,
        AppButton,
        TopButton,
        Custom,
        Tab,
        Category,
        CategoryDialog,
        Button,
        Minimise,
        Maximise,
        Close
    };
    struct Element
    {
        Part part = Part::None;
        int index = -1; // tab, category or button group; top buttons count from 1
        bool operator==(const Element&) const = default;
    };

    explicit VelRibbon(QWidget* parent = nullptr);
    ~VelRibbon() override;

    // Properties
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    int theme() const { return m_theme; }
    void setTheme(int theme, RibbonError* error = nullptr);
    bool showCustomMenu() const { return m_showCustomMenu; }
    void setShowCustomMenu(bool show);
    void setImageList(const ImageList& images);
    void setIcon(int index, RibbonError* error = nullptr);

    // Methods
    int AddTab(const QString& zID, const QString& zCaption, RibbonError* error = nullptr);
    int AddCat(const QString& zID, const QString& zTab, const QString& zCaption, bool zDlgButton = false,
               RibbonError* error = nullptr);
    int AddButton(const QString& zID, const QString& zSubCat, const QString& zCaption, int zPicture, bool zMore,
                  const QString& zToolTip = QString(), RibbonError* error = nullptr);
    int AddTopButton(const QString& zID, const QString& zCaption, int zPicture, RibbonError* error = nullptr);
    int Refresh();
    int Resize();
    // Selects tab i exactly as a click on it does, TabClick included (the keyboard's way in).
    void selectTab(int i);
    int LoadTheme(int iTema, RibbonError* error = nullptr);
    QPixmap LoadResPicture(int ID, const QString& Format, RibbonError* error = nullptr);

    // The outcome of the last method or property call (None when it was carried out).
    RibbonError lastError() const { return m_lastError; }
    QString lastErrorText() const { return m_lastErrorText; }

    // State, for the host and for checks.
    int tabCount() const { return static_cast<int>(m_tabs.size()); }
    QString tabId(int i) const { return m_tabs.at(i).id; }
    QString tabCaption(int i) const { return m_tabs.at(i).caption; }
    int selectedTab() const { return m_selectedTab; }
    QString currentTabId() const { return m_currentTabId; }
    int categoryCount() const { return static_cast<int>(m_cats.size()); }
    int buttonCount() const { return static_cast<int>(m_buttons.size()); }
    int topButtonCount() const { return static_cast<int>(m_topButtons.size()); }
    QString buttonCaption(int i) const { return m_buttons.at(i).caption; }
    QString buttonToolTip(int i) const { return m_buttons.at(i).toolTip; }
    Element highlighted() const { return m_highlight; }
    Element pressedElement() const { return m_pressed; }
    const RibbonThemeColours& colours() const { return m_colours; }
    QPixmap themePicture(int id) const;
    const RibbonBarGeometry& barGeometry() const { return m_bar; }
    const std::vector<RibbonTabGeometry>& tabGeometry() const { return m_tabGeometry; }
    const std::vector<RibbonCategoryGeometry>& categoryGeometry() const { return m_catGeometry; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void MainMenuClick();
    void MenuClick(const QString& id, const QString& caption);
    void TabClick(const QString& id, const QString& caption);
    void CatClick(const QString& id, const QString& caption);
    void ButtonClick(const QString& id, const QString& caption);
    void CustomClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct TabEntry
    {
        QString id, caption;
    };
    struct CatEntry
    {
        QString id, tab, caption;
        bool dialog = false;
    };
    struct ButtonEntry
    {
        QString id, cat, caption;
        int picture = 0;
        bool more = false;
        QString toolTip;
    };
    struct TopEntry
    {
        QString id, caption;
        int picture = 0;
    };

    void layOutBar();
    void buildTabRow();
    void buildCategories();
    std::vector<RibbonCategoryInput> collectCategories();
    void placeCategoryAreas();
    void placeTopButton(int n);
    void toggleMaximised();
    void setHighlight(Element e);
    void clearHighlightOf(Element e);
    void setPressed(Element e);
    bool refuse(RibbonError why, RibbonError* out, const QString& text);
    void succeed(RibbonError* out);
    RibbonHitArea* makeHitArea(const QString& name, int index, Element element);
    void place(QWidget* w, const QRect& twips) const;
    int textWidth(const QString& text) const; // twips
    int lineHeight() const;                   // twips
    int buttonLineHeight() const;             // twips, lines of a large button's caption
    QPixmap pic(int id) const { return m_pictures[id - RibbonPicture::First]; }
    void drawPicture(QPainter& p, int id, const QRect& twips) const;
    void drawText(QPainter& p, const QRect& twips, const QString& text, const QColor& colour, int flags) const;
    void paintBackground(QPainter& p) const;
    void paintTabs(QPainter& p) const;
    void paintCategories(QPainter& p) const;
    void paintButton(QPainter& p, const RibbonButtonGeometry& bg, int k) const;
    void paintTopStrip(QPainter& p) const;
    void paintAppButton(QPainter& p) const;
    void paintCaption(QPainter& p) const;
    void paintWindowButtons(QPainter& p) const;
    void startDrag(QPoint globalPos);
    void dragTo(QPoint globalPos, bool buttonDown);

    QString m_caption;
    int m_theme = 0;
    bool m_showCustomMenu = false;
    ImageList m_images;
    QPixmap m_logo;
    RibbonThemeColours m_colours;
    std::array<QPixmap, RibbonPicture::Count> m_pictures;
    QFont m_font;

    std::vector<TabEntry> m_tabs;
    std::vector<CatEntry> m_cats;
    std::vector<ButtonEntry> m_buttons;
    std::vector<TopEntry> m_topButtons;
    int m_selectedTab = -1;
    QString m_currentTabId;

    RibbonBarGeometry m_bar;
    std::vector<RibbonTabGeometry> m_tabGeometry;
    std::vector<RibbonCategoryGeometry> m_catGeometry;
    std::vector<int> m_shownCats;      // category table index per shown group
    std::vector<int> m_shownButtons;   // button table index per shown button group
    std::vector<int> m_buttonGroupCat; // shown category group of each shown button group
    int m_builtTabs = 0;               // tab groups placed by the last tab row build

    Element m_highlight;
    Element m_pressed;
    RibbonError m_lastError = RibbonError::None;
    QString m_lastErrorText;

    // Hit areas
    RibbonHitArea* m_barra = nullptr;
    RibbonHitArea* m_appButton = nullptr;
    RibbonHitArea* m_custom = nullptr;
    RibbonHitArea* m_min = nullptr;
    RibbonHitArea* m_max = nullptr;
    RibbonHitArea* m_end = nullptr;
    std::vector<RibbonHitArea*> m_tabMouse;
    std::vector<RibbonHitArea*> m_tbMouse; // [n - 1] is top button n
    std::vector<RibbonHitArea*> m_catMouse;
    std::vector<RibbonHitArea*> m_catDlg;
    std::vector<RibbonHitArea*> m_butMouse;

    // Caption-bar dragging when the window system cannot move the window itself.
    bool m_dragArmed = false;
    bool m_dragging = false;
    QPoint m_dragStart;
    QPoint m_windowStart;
};

} // namespace k27
