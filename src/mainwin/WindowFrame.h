#pragma once

#include <QList>
#include <QRect>
#include <QWidget>

namespace k27 {

// The main window has no title bar and no frame of the window system: these are its
// place on the screen and the grips along its edges that resize it.

struct WindowPlace
{
    QRect geometry; // the normal (not maximised) geometry; invalid when none is known
    bool maximised = false;
};

// The operator's last place of the main window, kept per user between runs.
WindowPlace loadWindowPlace();
void saveWindowPlace(const WindowPlace& place);

// Where the window opens: on the screen that holds most of the remembered place, at that
// place; without one (or when no screen shows it any longer) `preferred` centred on the
// first screen. Never larger than the screen's available area, never smaller than
// `minimum` while the screen allows. `screens` are available areas, the primary first.
QRect openingGeometry(const QList<QRect>& screens, const QRect& remembered, QSize preferred, QSize minimum);

// The geometry after dragging `edges` of `start` by `delta`, keeping at least `minimum`;
// the opposite edges stay where they are.
QRect resizedGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum);

// A strip or corner along the window's edge with the matching resize cursor. Dragging it
// resizes the window: through the window system where it can, by hand otherwise.
class WindowEdgeGrip final : public QWidget
{
    Q_OBJECT
public:
    WindowEdgeGrip(Qt::Edges edges, QWidget* window);
    Qt::Edges edges() const { return m_edges; }
    // Lays the grip over its part of the window's border of `border` pixels.
    void place(int border);

signals:
    // The window system took over the resize (it may take the focus away meanwhile).
    void systemResizeStarted();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    Qt::Edges m_edges;
    bool m_dragging = false;
    QPoint m_pressGlobal;
    QRect m_startGeometry;
};

} // namespace k27
