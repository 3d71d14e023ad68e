#pragma once

namespace k27 {

class AppContext;
class Frmmain;

// Connects the terminal page's buttons and grid and the cardholder page's btnInput to the
// window: its connection and registers, the issuing page's terminal grid, the duplicate-row
// question and the progress panel.
void wireTerminalPageAndImports(Frmmain& window, AppContext& context);

} // namespace k27
