#pragma once

#include "platform/ImportProgress.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace k27 {

class ProgressPanel;
class RunGuard;

// The one progress of the long runs (imports, deletions, the record count and export): the
// window's progress panel over a page with a caption and "done/total". Each step lets every
// pending window event run, the device's replies too: a card written during a run is read at
// once, and the reply handler keeps it in the port until a run that writes has ended.
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

private:
    void letEventsRun();
    void finish();

    QPointer<ProgressPanel> m_panel;
    QPointer<QWidget> m_page;
    QString m_caption;
    const RunGuard* m_runs;
    bool m_shown = false;
};

} // namespace k27
