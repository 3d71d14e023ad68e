#include "WindowFrame.h"

#include "platform/UserSettings.h"

#include <QMouseEvent>
#include <QWindow>

namespace k27 {

namespace {
const QString GeometryKey = QStringLiteral("MainWindow/geometry");
const QString MaximisedKey = QStringLiteral("MainWindow/maximised");
} // namespace

WindowPlace loadWindowPlace()
{
    const auto settings = openUserSettings();
    return {settings->value(GeometryKey).toRect(), settings->value(MaximisedKey, false).toBool()};
}

void saveWindowPlace(const WindowPlace& place)
{
    const auto settings = openUserSettings();
    settings->setValue(GeometryKey, place.geometry);
    settings->setValue(MaximisedKey, place.maximised);
}

QRect openingGeometry(const QList<QRect>& screens, const QRect& remembered, QSize preferred, QSize minimum)
{
    if (screens.isEmpty())
        return QRect(QPoint(0, 0), preferred.expandedTo(minimum));
    QRect area = screens.first();
    bool useRemembered = false;
    if (remembered.isValid()) {
        qint64 best = 0;
        for (const QRect& screen : screens) {
            const QRect shared = screen.intersected(remembered);
            const qint64 size = qint64(shared.width()) * shared.height();
            if (size > best) {
                best = size;
                area = screen;
                useRemembered = true;
            }
        }
    }
    const QSize size = (useRemembered ? remembered.size() : preferred).expandedTo(minimum).boundedTo(area.size());
    QPoint topLeft = useRemembered ? remembered.topLeft()
                                   : QPoint(area.x() + (area.width() - size.width()) / 2,
                                            area.y() + (area.height() - size.height()) / 2);
    topLeft.setX(qBound(area.left(), topLeft.x(), area.left() + area.width() - size.width()));
    topLeft.setY(qBound(area.top(), topLeft.y(), area.top() + area.height() - size.height()));
    return QRect(topLeft, size);
}

QRect resizedGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum)
{
    QRect r = start;
    if (edges & Qt::LeftEdge)
        r.setLeft(qMin(start.left() + delta.x(), start.right() + 1 - minimum.width()));
    if (edges & Qt::RightEdge)
        r.setRight(qMax(start.right() + delta.x(), start.left() + minimum.width() - 1));
    if (edges & Qt::TopEdge)
        r.setTop(qMin(start.top() + delta.y(), start.bottom() + 1 - minimum.height()));
    if (edges & Qt::BottomEdge)
        r.setBottom(qMax(start.bottom() + delta.y(), start.top() + minimum.height() - 1));
    return r;
}

WindowEdgeGrip::WindowEdgeGrip(Qt::Edges edges, QWidget* window) : QWidget(window), m_edges(edges)
{
    setObjectName(QStringLiteral("WindowEdgeGrip"));
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge);
        setCursor(falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor);
    } else {
        setCursor(horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor);
    }
}

void WindowEdgeGrip::place(int border)
{
    const QWidget* host = parentWidget();
    const bool left = m_edges & Qt::LeftEdge;
    const bool right = m_edges & Qt::RightEdge;
    const bool top = m_edges & Qt::TopEdge;
    const bool bottom = m_edges & Qt::BottomEdge;
    // Corners reach a little into the window, so that they are easy to catch.
    const int corner = 2 * border;
    const int w = (left || right) ? ((top || bottom) ? corner : border) : host->width() - 2 * corner;
    const int h = (top || bottom) ? ((left || right) ? corner : border) : host->height() - 2 * corner;
    const int x = left ? 0 : right ? host->width() - w : corner;
    const int y = top ? 0 : bottom ? host->height() - h : corner;
    setGeometry(x, y, qMax(w, 0), qMax(h, 0));
    raise();
}

void WindowEdgeGrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    QWidget* host = window();
    if (QWindow* handle = host->windowHandle(); handle && handle->startSystemResize(m_edges)) {
        emit systemResizeStarted();
        return;
    }
    m_dragging = true;
    m_pressGlobal = event->globalPosition().toPoint();
    m_startGeometry = host->geometry();
}

void WindowEdgeGrip::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    QWidget* host = window();
    host->setGeometry(resizedGeometry(m_startGeometry, m_edges, event->globalPosition().toPoint() - m_pressGlobal,
                                      host->minimumSize()));
}

void WindowEdgeGrip::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragging = false;
    QWidget::mouseReleaseEvent(event);
}

} // namespace k27
