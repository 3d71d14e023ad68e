#include "ribbon/RibbonHitArea.h"

#include <QMouseEvent>

namespace k27 {

RibbonHitArea::RibbonHitArea(const QString& name, int index, QWidget* parent) : QWidget(parent), m_index(index)
{
    setObjectName(name);
    if (index >= 0)
        setProperty("index", index);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
}

void RibbonHitArea::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    emit entered();
}

void RibbonHitArea::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit left();
}

void RibbonHitArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_down = true;
    emit pressed(event->globalPosition().toPoint());
}

void RibbonHitArea::mouseMoveEvent(QMouseEvent* event)
{
    emit moved(event->globalPosition().toPoint(), (event->buttons() & Qt::LeftButton) != 0);
}

void RibbonHitArea::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_down) {
        event->ignore();
        return;
    }
    m_down = false;
    const bool second = m_secondPress;
    m_secondPress = false;
    // A click is a release over the element that took the press, like a push button.
    const bool inside = rect().contains(event->position().toPoint());
    emit released();
    if (inside && !second)
        emit clicked();
}

void RibbonHitArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The second press of a double-click: its release ends the press but is not
    // another click, so a double-click acts once as a click and once as itself.
    m_down = true;
    m_secondPress = true;
    emit doubleClicked();
}

} // namespace k27
