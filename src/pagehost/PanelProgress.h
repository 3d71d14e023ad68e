#pragma once

#include "platform/ImportProgress.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace k27 {

class ProgressPanel;
class RunGuard;

// The one progress of the long runs (imports, deletions, the record count and export): the
// window's progress panel over a page with a caption and "done/total". Each step lets window
// events run so the window stays alive, all but the device's replies: those wait in the port
// until the run is over and are then stored and shown as always. A run holds a write
// transaction open between its commits; a written card recorded meanwhile would wait for it,
// fail, and be reported as not recorded.
class PanelProgress final : public ImportProgress
{
public:
    PanelProgress(ProgressPanel* panel, QWidget* page, QString caption, const RunGuard* runs);
    ~PanelProgress() override;

    void begin(int total) override;
    void advance(int done, int total) override;
    void idle() override;
    void end(int done, int total) override;
    // A close request asked the window's run to stop.
    bool stopRequested() const override;

    // Runs the pending window events, leaving the device's replies for after the run.
    static void letEventsRun();

private:
    void finish();

    QPointer<ProgressPanel> m_panel;
    QPointer<QWidget> m_page;
    QString m_caption;
    const RunGuard* m_runs;
    bool m_shown = false;
};

} // namespace k27
