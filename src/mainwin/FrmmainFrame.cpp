#include "Frmmain.h"

#include "mainwin/DuplicatePrompt.h"
#include "mainwin/WindowFrame.h"
#include "ribbon/VelRibbon.h"

#include <QGuiApplication>
#include <QLayout>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

// The frameless window's own frame: its edges to drag, its place on the screens, the keys
// that step through the tabs, the line drawn where it ends.
namespace k27 {

void Frmmain::buildFrame()
{
    setMinimumSize(MinimumSize);
    for (const Qt::Edges edges : {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
                                  Qt::Edges(Qt::BottomEdge), Qt::LeftEdge | Qt::TopEdge, Qt::RightEdge | Qt::TopEdge,
                                  Qt::LeftEdge | Qt::BottomEdge, Qt::RightEdge | Qt::BottomEdge})
        m_grips << new WindowEdgeGrip(edges, this);
    for (WindowEdgeGrip* grip : m_grips)
        connect(grip, &WindowEdgeGrip::systemResizeStarted, this, [this] { m_systemResize.start(); });

    // The pages by keyboard, through the same path as a click on their tab.
    const auto shortcut = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    // Ctrl+6 is the operator log's tab where an administrator has it (else it does nothing).
    for (int i = 0; i < PageCount + 1; ++i)
        shortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), [this, i] { m_ribbon->selectTab(i); });
    for (const QKeySequence& next : {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        shortcut(next, [this] { stepTab(1); });
    for (const QKeySequence& previous :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
          QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        shortcut(previous, [this] { stepTab(-1); });
}

void Frmmain::placeOnScreen()
{
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens << screen->availableGeometry();
    const WindowPlace place = loadWindowPlace();
    // A screen smaller than the minimum still shows the whole window.
    if (!screens.isEmpty())
        setMinimumSize(MinimumSize.boundedTo(screens.first().size()));
    setGeometry(openingGeometry(screens, place.geometry, PreferredSize, minimumSize()));
    if (place.maximised)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void Frmmain::saveWindowPlace() const
{
    k27::saveWindowPlace({isMaximized() ? normalGeometry() : geometry(), isMaximized()});
}

void Frmmain::stepTab(int delta)
{
    const int count = m_ribbon->tabCount();
    if (count == 0)
        return;
    m_ribbon->selectTab(((m_ribbon->selectedTab() + delta) % count + count) % count);
}

void Frmmain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutFrame();
    if (m_ribbon)
        m_ribbon->Resize();
    if (m_picTip && m_picTip->isVisible())
        m_picTip->move((width() - m_picTip->width()) / 2, (height() - m_picTip->height()) / 2);
}

void Frmmain::layOutFrame()
{
    // A maximised window has no edges to drag.
    const int border = isMaximized() || isFullScreen() ? 0 : ResizeBorder;
    if (layout()->contentsMargins().left() != border)
        layout()->setContentsMargins(border, border, border, border);
    for (WindowEdgeGrip* grip : m_grips) {
        grip->place(border);
        grip->setVisible(border > 0);
    }
}

void Frmmain::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (isMaximized() || isFullScreen())
        return;
    // The window system draws no frame: a thin line shows where the window ends.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace k27
