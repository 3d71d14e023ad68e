#pragma once

namespace k27 {

// What the window shows while it waits for the server: a statement of the window's thread,
// outside a transaction (a click's reads), that has not been answered after ShowAfterMs.
// The window installs one; without it (the command-line tools) a statement simply waits, up
// to the server's statement timeout.
class ServerWait
{
public:
    static constexpr int ShowAfterMs = 200;

    virtual ~ServerWait() = default;
    // The wait has lasted ShowAfterMs: show it.
    virtual void begin() = 0;
    // Called about every 20 ms while the answer has not come: lets the window's events run.
    // True once the operator asked to cancel; the statement then fails as cancelled.
    virtual bool cancelRequested() = 0;
    // The answer came (or the statement was cancelled).
    virtual void end() = 0;

    // The one shown for every connection (nullptr: none). Not owned.
    static void install(ServerWait* wait);
    static ServerWait* installed();
};

} // namespace k27
