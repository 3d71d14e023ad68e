#pragma once

#include "pagehost/PageHost.h"

namespace k27 {

class Frmmain;

// The window as the host of its pages (its context, its one long run, the duplicate question,
// the progress panel, the lists shown on more than one page), and every connection between the
// pages, the issuing controller, the device replies and the window: the one place where the
// window meets its pages, so that Frmmain is the shell and its layout.
class PageWiring final : public PageHost
{
public:
    explicit PageWiring(Frmmain& window) : m_window(window) {}

    // Once the pages and the panels exist: the issuing behaviour, the grids' data, the
    // settings page's signals.
    void wire();

    AppContext& context() override;
    RunGuard& runs() override;
    int askDuplicate(const QString& question) override;
    std::unique_ptr<ImportProgress> progress(QWidget* page, const QString& caption) override;
    bool loadCardholders() override;
    void filterCardholders(int firstField, bool cardOnly) override;
    bool loadTerminalList() override;
    void fillTerminalGrid(int range) override;

private:
    void wireIssuing();
    void wireSettings();
    // The grids draw the window's registers and the record page's list.
    void bindGrids();
    // On a shared register: other desks' changes shown on the open lists as they come.
    void wireLiveView();
    void showLiveChanges();

    Frmmain& m_window;
    unsigned m_liveTables = 0; // changed on other desks, not shown yet
};

} // namespace k27
