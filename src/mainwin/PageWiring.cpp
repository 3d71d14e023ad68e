#include "PageWiring.h"

#include "cardholders/CardholderPage.h"
#include "issuing/DeviceReplyHandler.h"
#include "issuing/IssuingController.h"
#include "issuing/IssuingPage.h"
#include "mainwin/DuplicatePrompt.h"
#include "mainwin/Frmmain.h"
#include "pagehost/PanelProgress.h"
#include "platform/Grid.h"
#include "records/RecordPage.h"
#include "settings/SettingsPage.h"
#include "terminals/TerminalPage.h"

#include <QComboBox>
#include <QPushButton>

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
