#pragma once

// A page's host without a window: the test's context and run guard, no duplicate question,
// a progress that shows nothing, and the reloads counted.

#include "pagehost/PageHost.h"
#include "platform/ImportProgress.h"

namespace k27::test {

struct TestPageHost final : PageHost
{
    explicit TestPageHost(AppContext& context) : appContext(context) {}

    AppContext& context() override { return appContext; }
    RunGuard& runs() override { return guard; }
    int askDuplicate(const QString&) override { return -1; }
    std::unique_ptr<ImportProgress> progress(QWidget*, const QString&) override
    {
        struct Silent final : ImportProgress
        {
            void begin(int) override {}
            void advance(int, int) override {}
            void end(int, int) override {}
        };
        return std::make_unique<Silent>();
    }
    bool loadCardholders() override { return ++reloads, true; }
    void filterCardholders(int, bool) override {}
    bool loadTerminalList() override { return ++reloads, true; }
    void fillTerminalGrid(int) override {}

    AppContext& appContext;
    RunGuard guard;
    int reloads = 0;
};

} // namespace k27::test
