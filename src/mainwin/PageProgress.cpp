#include "PageProgress.h"

#include "mainwin/ProgressPanel.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

namespace k27 {

PageProgress::PageProgress(ProgressPanel* panel, QWidget* page, const AppContext& context, const RunGuard* runs)
    : m_panel(panel), m_page(page), m_context(context), m_runs(runs)
{
}

void PageProgress::begin(int total)
{
    if (m_panel)
        m_panel->start(m_page, m_context.message(Msg::Importing), total);
    QCoreApplication::processEvents();
}

void PageProgress::advance(int done, int /*total*/)
{
    if (m_panel)
        m_panel->setValue(done);
    QCoreApplication::processEvents();
}

void PageProgress::end(int done, int /*total*/)
{
    if (!m_panel)
        return;
    m_panel->setValue(done);
    m_panel->Prg->repaint();
    m_panel->LblCount->repaint();
    m_panel->finish();
}

} // namespace k27
