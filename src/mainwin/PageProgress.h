#pragma once

#include "platform/ImportProgress.h"
#include "platform/RunGuard.h"

#include <QPointer>
#include <QWidget>

namespace k27 {

class AppContext;
class ProgressPanel;

// An import's progress shown with the window's progress panel over one page: caption
// message 126, "done/total" beneath the bar. Each step lets pending window events run.
class PageProgress : public ImportProgress
{
public:
    PageProgress(ProgressPanel* panel, QWidget* page, const AppContext& context, const RunGuard* runs = nullptr);

    void begin(int total) override;
    void advance(int done, int total) override;
    void end(int done, int total) override;
    // A close request asked the window's run to stop.
    bool stopRequested() const override { return m_runs && m_runs->stopRequested(); }

private:
    QPointer<ProgressPanel> m_panel;
    QPointer<QWidget> m_page;
    const AppContext& m_context;
    const RunGuard* m_runs;
};

} // namespace k27
