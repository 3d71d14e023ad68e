#pragma once

#include <QStringList>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace k27 {

// Temporary bar with the calls the main window makes into the ribbon (same names), used
// until the ribbon control is available: caption, window buttons and a row of tabs.
class RibbonStandIn : public QWidget
{
    Q_OBJECT
public:
    static constexpr int BarHeightPixels = 142;

    explicit RibbonStandIn(QWidget* parent = nullptr);

    void setTheme(int) {}
    void setIcon(int) {}
    void setCaption(const QString& caption);
    void setShowCustomMenu(bool) {}
    int AddTab(const QString& zID, const QString& zCaption);
    int Refresh();
    int Resize() { return 0; }
    int tabCount() const { return int(m_ids.size()); }

signals:
    void TabClick(const QString& id, const QString& caption);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QLabel* m_caption = nullptr;
    QHBoxLayout* m_tabs = nullptr;
    QStringList m_ids, m_captions;
    QList<QPushButton*> m_buttons;
    QPoint m_dragOffset;
};

} // namespace k27
