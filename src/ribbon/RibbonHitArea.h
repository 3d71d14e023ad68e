#pragma once

#include <QPoint>
#include <QWidget>

namespace k27 {

// A transparent child of the ribbon bar over one element (tab, button, window
// button...). It draws nothing; it turns mouse input into signals and carries the
// element's name (objectName) and, for repeated elements, the int property "index",
// so tests and assistive tools can find and click it like any widget.
class RibbonHitArea : public QWidget
{
    Q_OBJECT
public:
    RibbonHitArea(const QString& name, int index, QWidget* parent);
    int index() const { return m_index; }

signals:
    void entered();
    void left();
    void pressed(QPoint globalPos);
    void moved(QPoint globalPos, bool buttonDown);
    void released();
    void clicked();
    void doubleClicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int m_index;
    bool m_down = false;
    bool m_secondPress = false; // the press of a double-click: its release is no new click
};

} // namespace k27
