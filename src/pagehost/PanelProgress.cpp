#include "PanelProgress.h"

#include "pagehost/ProgressPanel.h"
#include "platform/RunGuard.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

namespace k27 {

PanelProgress::PanelProgress(ProgressPanel* panel, QWidget* page, QString caption, const RunGuard* runs)
    : m_panel(panel), m_page(page), m_caption(std::move(caption)), m_runs(runs)
{
}

PanelProgress::~PanelProgress()
{
    finish();
}

void PanelProgress::letEventsRun()
{
    QCoreApplication::processEvents();
}

void PanelProgress::begin(int total)
{
    m_shown = true;
    if (m_panel)
        m_panel->start(m_page, m_caption, total);
    letEventsRun();
}

void PanelProgress::advance(int done, int /*total*/)
{
    if (m_panel)
        m_panel->setValue(done);
    letEventsRun();
}

void PanelProgress::idle()
{
    letEventsRun();
}

void PanelProgress::end(int done, int /*total*/)
{
    if (m_panel) {
        m_panel->setValue(done);
        m_panel->Prg->repaint();
        m_panel->LblCount->repaint();
    }
    finish();
}

bool PanelProgress::stopRequested() const
{
    return m_runs && m_runs->stopRequested();
}

void PanelProgress::finish()
{
    if (m_shown && m_panel)
        m_panel->finish();
    m_shown = false;
}

} // namespace k27
