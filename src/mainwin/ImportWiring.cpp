#include "ImportWiring.h"

#include "cardholders/CardholderImportAction.h"
#include "cardholders/CardholderPage.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "mainwin/PageProgress.h"
#include "platform/Grid.h"
#include "terminals/TerminalPage.h"

#include <QComboBox>
#include <QPushButton>

namespace k27 {

void wireTerminalPageAndImports(Frmmain& window, AppContext& context)
{
    Frmmain* w = &window;
    DuplicatePrompt* prompt = window.duplicatePrompt();
    auto ask = [prompt](const QString& question) { return prompt ? prompt->ask(question) : -1; };

    TerminalPageHost terminals;
    terminals.context = &context;
    terminals.terminals = &window.terminals();
    terminals.fillTerminalGrid = [w] { w->FillTerminalGrid(w->issuingPage()->CmbNo->currentIndex()); };
    terminals.loadTerminalList = [w] { return w->LoadTerminalList(); };
    terminals.askDuplicate = ask;
    terminals.runs = &window.runs();
    terminals.progress = std::make_shared<PageProgress>(window.progressPanel(), window.terminalPage(), context,
                                                         &window.runs());
    window.terminalPage()->attach(std::move(terminals));

    CardholderImportHost cardholders;
    cardholders.context = &context;
    cardholders.page = window.cardholderPage();
    cardholders.askDuplicate = ask;
    cardholders.runs = &window.runs();
    cardholders.progress =
        std::make_shared<PageProgress>(window.progressPanel(), window.cardholderPage(), context, &window.runs());
    cardholders.loadCardholders = [w] { w->LoadCardholders(); };
    cardholders.showCardholders = [w] {
        w->FilterCardholders(0, false);
        w->cardholderPage()->GridU->raise();
    };
    auto* import = new CardholderImportAction(std::move(cardholders), &window);
    QObject::connect(window.cardholderPage()->btnInput, &QPushButton::clicked, import, &CardholderImportAction::run);
}

} // namespace k27
