#include "PageWiring.h"

#include "cardholders/CardholderPage.h"
#include "db/DatabaseSession.h"
#include "db/RegisterWatch.h"
#include "issuing/DeviceReplyHandler.h"
#include "issuing/IssuingController.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "pagehost/PanelProgress.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "records/RecordPage.h"
#include "settings/SettingsPage.h"
#include "startup/AppContext.h"
#include "startup/Messages.h"
#include "terminals/TerminalPage.h"

#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

namespace k27 {

AppContext& PageWiring::context()
{
    return m_window.m_context;
}

RunGuard& PageWiring::runs()
{
    return m_window.m_runs;
}

int PageWiring::askDuplicate(const QString& question)
{
    return m_window.m_picTip ? m_window.m_picTip->ask(question) : -1;
}

std::unique_ptr<ImportProgress> PageWiring::progress(QWidget* page, const QString& caption)
{
    return std::make_unique<PanelProgress>(m_window.m_picPrg, page, caption, &m_window.m_runs);
}

bool PageWiring::loadCardholders()
{
    return m_window.LoadCardholders();
}

void PageWiring::filterCardholders(int firstField, bool cardOnly)
{
    m_window.FilterCardholders(firstField, cardOnly);
}

bool PageWiring::loadTerminalList()
{
    return m_window.LoadTerminalList();
}

void PageWiring::fillTerminalGrid(int range)
{
    m_window.FillTerminalGrid(range == ShownRange ? m_window.m_issuingPage->CmbNo->currentIndex() : range);
}

void PageWiring::wire()
{
    wireIssuing();
    wireSettings();
    bindGrids();
    wireLiveView();
}

namespace {

// Where the operator is in a list: the row's key texts, the column and the scroll position,
// found again after the list was loaded anew even when rows came or went above it.
struct ListPlace
{
    Grid* grid;
    std::function<QStringList(int row)> key;
    QStringList current;
    int col = 0;
    int scroll = 0;
    int scrollColumn = 0;

    ListPlace(Grid* g, std::function<QStringList(int row)> k) : grid(g), key(std::move(k))
    {
        col = grid->currentCol();
        if (grid->currentRow() > 0)
            current = key(grid->currentRow());
        scroll = grid->view()->verticalScrollBar()->value();
        scrollColumn = grid->view()->horizontalScrollBar()->value();
    }
    void restore() const
    {
        if (!current.isEmpty()) {
            for (int row = 1; row < grid->rows(); ++row) {
                if (key(row) == current) {
                    grid->setCurrentCell(row, col);
                    break;
                }
            }
        }
        grid->view()->verticalScrollBar()->setValue(scroll);
        grid->view()->horizontalScrollBar()->setValue(scrollColumn);
    }
};

// An open cell editor is a widget shown on the list's viewport.
bool editing(const Grid* grid)
{
    for (const QWidget* child : grid->view()->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible())
            return true;
    return false;
}

} // namespace

void PageWiring::wireLiveView()
{
    Frmmain& w = m_window;
    AppContext& c = context();
    if (!c.onServer())
        return;
    auto* watch = new RegisterWatch(&w);
    DatabaseSession& session = c.databases();
    watch->setOwnProcesses([&session] { return session.serverProcesses(); });
    QObject::connect(watch, &RegisterWatch::changed, &w, [this](unsigned tables) {
        m_liveTables |= tables;
        showLiveChanges();
    });
    QObject::connect(watch, &RegisterWatch::linkLost, &w,
                     [&w, &c] { c.dialogs().message(&w, c.message(Msg::RegisterLinkLost), Dialogs::Icon::Warning); });
    watch->start(c.registerLocation());
}

void PageWiring::showLiveChanges()
{
    Frmmain& w = m_window;
    if (!m_liveTables || !w.m_initialised)
        return;
    // Never under a run (it shows its lists when it ends) nor under a cell being typed into:
    // the change is shown as soon as the operator has finished.
    Grid* grids[] = {w.m_cardholderPage->GridU, w.m_issuingPage->GridU2, w.m_terminalPage->GridM,
                     w.m_recordPage->GridIO};
    bool busy = w.m_runs.active() || w.m_recordPage->isBusy();
    for (Grid* grid : grids)
        busy = busy || editing(grid);
    if (busy) {
        QTimer::singleShot(200, &w, [this] { showLiveChanges(); });
        return;
    }
    const unsigned tables = m_liveTables;
    m_liveTables = 0;
    if (tables & RegisterWatch::Cardholders) {
        CardholderTable& table = w.m_cardholders;
        auto keyOf = [&table](CardholderTable::View view) {
            return [&table, view](int row) {
                return QStringList{table.viewText(view, row, CardholderColumn::Name),
                                   table.viewText(view, row, CardholderColumn::Phone),
                                   table.viewText(view, row, CardholderColumn::Card)};
            };
        };
        const ListPlace page(w.m_cardholderPage->GridU, keyOf(CardholderTable::CardholderPageView));
        const ListPlace issuing(w.m_issuingPage->GridU2, keyOf(CardholderTable::IssuingPageView));
        w.LoadCardholders();
        page.restore();
        issuing.restore();
    }
    if (tables & RegisterWatch::Terminals) {
        TerminalTable& table = w.m_terminals;
        const ListPlace place(w.m_terminalPage->GridM, [&table](int row) {
            return QStringList{table.text(row, 1), table.text(row, 2)};
        });
        w.LoadTerminalList();
        place.restore();
        // The issuing page's doors show their addresses too; the ticks stay as they are.
        fillTerminalGrid(ShownRange);
    }
    if (tables & RegisterWatch::Operators)
        w.m_settingsPage->OperatorList();
    if (tables & RegisterWatch::Records)
        w.m_recordPage->showOthersChanges();
}

void PageWiring::wireIssuing()
{
    Frmmain& w = m_window;
    w.m_issuing = new IssuingController(*this, *w.m_issuingPage, w.m_commandBuffer, *w.m_port, &w);
    QObject::connect(w.m_issuingPage->CmbNo, &QComboBox::activated, &w, [&w](int range) {
        if (w.m_initialised)
            w.m_issuing->chooseRange(range);
    });
    CardholderPage* cardholders = w.m_cardholderPage;
    w.m_replies = new DeviceReplyHandler(
        *this, *w.m_issuingPage, w.m_commandBuffer, *w.m_port,
        [cardholders](const QString& card) {
            // Emptied first, so that the card number is searched alone.
            for (int field : {0, 2, 3})
                cardholders->CmbF[field]->setEditText(QString());
            cardholders->CmbF[1]->setEditText(card);
        },
        &w);
    w.m_replies->setHolderIds([&w](int row) { return w.m_cardholders.viewId(CardholderTable::IssuingPageView, row); });
}

void PageWiring::wireSettings()
{
    Frmmain& w = m_window;
    SettingsPage* settings = w.m_settingsPage;
    QObject::connect(settings, &SettingsPage::serialSettingsApplied, &w, &Frmmain::onSerialSettingsApplied);
    QObject::connect(settings, &SettingsPage::languageApplied, &w, &Frmmain::onLanguageApplied);
    QObject::connect(settings, &SettingsPage::databaseRestored, &w, [&w] {
        w.m_recordPage->databaseReplaced();
        w.LoadCardholders();
        w.FilterCardholders(0, false);
    });
    // Loading an operator for a change also disables the terminal page's add button.
    QObject::connect(settings, &SettingsPage::operatorLoadedForChange, &w,
                     [&w] { w.m_terminalPage->cmdAdd->setEnabled(false); });
}

void PageWiring::bindGrids()
{
    Frmmain& w = m_window;
    CardholderTable& cardholders = w.m_cardholders;
    const std::pair<Grid*, CardholderTable::View> bindings[] = {
        {w.m_cardholderPage->GridU, CardholderTable::CardholderPageView},
        {w.m_issuingPage->GridU2, CardholderTable::IssuingPageView}};
    // Plain members rather than a structured binding: clang 14 refuses to capture one.
    for (const auto& binding : bindings) {
        Grid* grid = binding.first;
        const CardholderTable::View view = binding.second;
        grid->setCellSource([&cardholders, view](int row, int col) { return cardholders.viewText(view, row, col); });
        grid->setCellEdited([&cardholders, view](int row, int col, const QString& text) {
            cardholders.setViewText(view, row, col, text);
        });
    }
    TerminalTable& terminals = w.m_terminals;
    w.m_terminalPage->GridM->setCellSource([&terminals](int row, int col) { return terminals.text(row, col); });
    w.m_terminalPage->GridM->setCellEdited(
        [&terminals](int row, int col, const QString& text) { terminals.setText(row, col, text); });
    RecordPage* records = w.m_recordPage;
    records->GridIO->setCellSource([records](int row, int col) { return records->list().text(row, col); });
    records->GridIO->setCellEdited(
        [records](int row, int col, const QString& text) { records->list().setText(row, col, text); });
    w.m_issuingPage->GridZ->setRows(IssuingPage::GridZRows + 1);
}

} // namespace k27
