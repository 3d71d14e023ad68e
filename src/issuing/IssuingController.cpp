#include "issuing/IssuingController.h"

#include "audit/AuditTrail.h"
#include "cardholders/CardholderStore.h"

#include "cardholders/CardholderTable.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "issuing/CommandBuffer.h"
#include "issuing/DeviceCommands.h"
#include "issuing/IssuingPage.h"
#include "pagehost/PageHost.h"
#include "platform/Dialogs.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"
#include "startup/AppContext.h"
#include "startup/LanguageTable.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QTableView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace k27 {

namespace {

using Type = CardFrame::CommandType;

constexpr int CardSearchField = 5;

// The drop-down lists leave out the empty piece after the last "、".
int offeredCount(const QStringList& list)
{
    return qMax(0, int(list.size()) - 1);
}

} // namespace

IssuingController::IssuingController(PageHost& host, IssuingPage& page, CommandBuffer& buffer, SerialPort& port,
                                     QObject* parent)
    : QObject(parent), m_page(page), m_buffer(buffer), m_port(port), m_host(host), m_context(host.context()),
      m_administrator(m_context.signedIn.isAdministrator)
{
    const std::pair<QRadioButton*, Type> options[] = {{page.OptN, Type::NewCard},
                                                      {page.OptT, Type::Temporary},
                                                      {page.OptO, Type::Renewal},
                                                      {page.OptR, Type::Restore}};
    for (const auto& [option, type] : options)
        connect(option, &QRadioButton::clicked, this, [this, type = type] { chooseCommandType(type); });
    connect(&page, &IssuingPage::searchChanged, this, &IssuingController::onSearchChanged);
    connect(page.GridU2, &Grid::doubleClicked, this, [this] { selectTarget(m_page.GridU2->currentRow()); });
    // Row changes while the list is being refilled are not the operator's choice; the
    // search follow-up settles the target afterwards.
    connect(page.GridU2, &Grid::rowChanged, this, [this](int row) {
        if (!m_page.GridU2->redraw())
            return;
        if (row < 1) {
            m_targetName.clear();
            m_targetPhone.clear();
        }
        selectTarget(row);
    });
    connect(page.GridU2, &Grid::clicked, this, &IssuingController::onGridClicked);
    connect(page.GridU2, &Grid::dropDownChosen, this, &IssuingController::onDropDownChosen);
    connect(page.btnStart, &QPushButton::clicked, this, &IssuingController::start);
    connect(page.btnStop, &QPushButton::clicked, this, &IssuingController::stop);
}

void IssuingController::chooseCommandType(Type type)
{
    QRadioButton* option = type == Type::Temporary ? m_page.OptT
                           : type == Type::Renewal ? m_page.OptO
                           : type == Type::Restore ? m_page.OptR
                                                   : m_page.OptN;
    option->setChecked(true);
    m_buffer.SetCommandType(type);
    m_host.filterCardholders(4, m_page.cardOnly());
    if (type != Type::NewCard)
        m_page.GridU2->view()->scrollToTop();
}

void IssuingController::chooseRange(int range)
{
    m_host.fillTerminalGrid(range);
    // A tick left standing would now mean another door: start the new range clear.
    m_page.clearTicks();
    // The target's own terminals of the new range.
    const int row = m_page.GridU2->currentRow();
    if (row > 0 && m_page.GridU2->rows() >= 2)
        LoadHolderPermissions(row);
    m_buffer.setRange(range);
}

void IssuingController::selectTarget(int row)
{
    Grid* grid = m_page.GridU2;
    if (grid->rows() < 2 || row < 1 || row >= grid->rows())
        return;
    LoadHolderPermissions(row);
    m_page.txtUser->setText(grid->cellText(row, CardholderColumn::Name));
    m_targetName = trimSpaces(grid->cellText(row, CardholderColumn::Name));
    m_targetPhone = trimSpaces(grid->cellText(row, CardholderColumn::Phone));
}

void IssuingController::LoadHolderPermissions(int row)
{
    Grid* grid = m_page.GridU2;
    const QString name = trimSpaces(grid->cellText(row, CardholderColumn::Name));
    const QString phone = trimSpaces(grid->cellText(row, CardholderColumn::Phone));
    // The image folder plays no part in a lookup.
    const auto found = CardholderStore(m_context.databases(), {}).permissions({name, phone});
    if (!found)
        return;
    const QString terminals = TrimAtNul(found->terminals);
    const QString validity = TrimAtNul(found->validity);
    m_holderTerminals = splitPermissionList(terminals);
    m_holderValidity = splitPermissionList(validity);
    if (row > 0 && !terminals.isEmpty())
        MarkHolderTerminals(m_page.rangeIndex());
}

void IssuingController::MarkHolderTerminals(int /*range: the grid shows its numbers*/)
{
    if (m_holderTerminals.size() < 2 || m_holderTerminals.first() == QLatin1String("0"))
        return;
    QList<int> numbers;
    for (const QString& entry : std::as_const(m_holderTerminals))
        if (!entry.isEmpty())
            numbers << int(leadingNumber(entry));
    Grid* z = m_page.GridZ;
    z->setRedraw(false);
    for (int row = 1; row <= IssuingPage::GridZRows && row < z->rows(); ++row) {
        for (int group = 0; group < 3; ++group) {
            const int col = IssuingPage::tickColumn(group);
            if (!m_issuingActive)
                z->setCellText(row, col, QStringLiteral("0"));
            // The two empty cells at the end of a range are never ticked.
            const int shown = z->cellText(row, col + 1).trimmed().toInt();
            if (shown > 0 && numbers.contains(shown))
                z->setCellText(row, col, QStringLiteral("1"));
        }
    }
    z->setRedraw(true);
    z->refresh();
}

void IssuingController::onSearchChanged(int field, bool typed)
{
    m_host.filterCardholders(4, m_page.cardOnly());
    Grid* grid = m_page.GridU2;
    if (!typed || field != CardSearchField || grid->rows() != 2)
        return;
    // The one cardholder left becomes the target; the row is selected too, so that the
    // reply of a written card finds the cardholder whose name the page shows.
    if (grid->currentRow() != 1)
        grid->selectRow(1);
    LoadHolderPermissions(1);
    m_page.txtUser->setText(grid->cellText(1, CardholderColumn::Name));
}

void IssuingController::searchFollowUp()
{
    Grid* grid = m_page.GridU2;
    // A reload after a written card (or a search) moves rows: the target stays the same
    // cardholder rather than whoever now sits in his old row.
    selectRememberedTarget();
    const QString card = TrimAtNul(m_page.CmbF[CardSearchField - 4]->currentText());
    if (grid->rows() == 2 && !card.isEmpty() && card == grid->cellText(1, CardholderColumn::Card)) {
        grid->selectRow(1);
        LoadHolderPermissions(1);
    }
    const int row = grid->currentRow();
    if (row > 0) {
        selectTarget(row);
    } else {
        m_page.txtUser->clear();
        m_targetName.clear();
        m_targetPhone.clear();
    }
}

bool IssuingController::selectRememberedTarget()
{
    Grid* grid = m_page.GridU2;
    if (m_targetName.isEmpty())
        return false;
    for (int r = 1; r < grid->rows(); ++r) {
        if (trimSpaces(grid->cellText(r, CardholderColumn::Name)) == m_targetName
            && trimSpaces(grid->cellText(r, CardholderColumn::Phone)) == m_targetPhone) {
            if (r != grid->currentRow())
                grid->selectRow(r);
            return true;
        }
    }
    return false;
}

void IssuingController::keepTargetRow()
{
    if (m_targetName.isEmpty() || selectRememberedTarget())
        return;
    // The target is no longer listed: nobody is, rather than whoever sits in his old row.
    m_page.GridU2->view()->setCurrentIndex(QModelIndex());
    m_page.txtUser->clear();
    m_targetName.clear();
    m_targetPhone.clear();
}

void IssuingController::onGridClicked()
{
    Grid* grid = m_page.GridU2;
    const int row = grid->currentRow();
    if (grid->rows() < 2 || row < 1)
        return;
    const int col = grid->currentCol();
    if (col == CardholderColumn::Terminal || col == CardholderColumn::Validity) {
        const int count = offeredCount(m_holderTerminals);
        const QStringList& list = col == CardholderColumn::Terminal ? m_holderTerminals : m_holderValidity;
        grid->clearDropDownList(col);
        for (int k = 0; k < count && k < list.size(); ++k)
            grid->addDropDownItem(col, list[k]);
    } else {
        grid->selectRow(row);
    }
    grid->refresh();
}

void IssuingController::onDropDownChosen(int col)
{
    Grid* grid = m_page.GridU2;
    const int row = grid->currentRow();
    if (grid->rows() < 2 || row < 1 || (col != CardholderColumn::Terminal && col != CardholderColumn::Validity))
        return;
    LoadHolderPermissions(row);
    const QString chosen = grid->cellText(row, col);
    const QStringList& from = col == CardholderColumn::Terminal ? m_holderTerminals : m_holderValidity;
    const QStringList& to = col == CardholderColumn::Terminal ? m_holderValidity : m_holderTerminals;
    const int count = offeredCount(m_holderTerminals);
    for (int k = 0; k < count && k < from.size(); ++k) {
        if (from[k] == chosen) {
            grid->setCellText(
                row, col == CardholderColumn::Terminal ? CardholderColumn::Validity : CardholderColumn::Terminal,
                to.value(k));
            break;
        }
    }
    grid->refresh();
}

bool IssuingController::hasTarget() const
{
    Grid* grid = m_page.GridU2;
    const int row = grid->currentRow();
    return row >= 1 && !trimSpaces(grid->cellText(row, CardholderColumn::Name)).isEmpty()
           && !m_page.txtUser->text().isEmpty();
}

void IssuingController::start()
{
    RunGuard::Scope run = m_host.runs().start(RunGuard::Run::Issuing);
    if (!run)
        return;
    if (!CommandBuffer::identificationCode(m_page.TxtC->text())) {
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::UserIdOutOfRange), Dialogs::Icon::Warning);
        return;
    }
    m_buffer.clearValidityText();
    if (m_page.OptR->isChecked() ? startRestore() : startIssue())
        run.keep();
}

bool IssuingController::startRestore()
{
    // With an empty list a restore goes on without a target: the card alone is cleared.
    if (m_page.GridU2->rows() >= 2 && !hasTarget()) {
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::SelectTargetCardholder),
                                    Dialogs::Icon::None);
        return false;
    }
    m_buffer.prepareRestore(m_page.tickedTerminals(), m_page.rangeIndex());
    if (!m_context.dialogs().question(&m_page, m_context.language.message(Msg::RestoreCardQuestion),
                                      m_context.language.message(Msg::RestoreCardTitle)))
        return false;
    if (!m_buffer.completeRestore())
        return false;
    return send(true);
}

bool IssuingController::startIssue()
{
    if (!hasTarget()) {
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::SelectTargetCardholder),
                                    Dialogs::Icon::None);
        return false;
    }
    const Type type = m_page.commandType();
    if (type == Type::Renewal && !m_context.dialogs().question(&m_page, m_context.language.message(Msg::RenewCard)))
        return false;

    IssueRequest request;
    request.tickedTerminals = m_page.tickedTerminals();
    request.type = type;
    request.permanent = m_page.Check1->isChecked();
    request.validity = m_page.DT1->date();
    request.identificationCode = CommandBuffer::identificationCode(m_page.TxtC->text()).value_or(0);
    request.rangeIndex = m_page.rangeIndex();
    switch (m_buffer.prepareIssue(request)) {
    case CommandBuffer::IssueCheck::Ready: break;
    case CommandBuffer::IssueCheck::NoTerminal:
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::SelectTerminal), Dialogs::Icon::Warning);
        return false;
    case CommandBuffer::IssueCheck::YearOutOfRange:
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::ValidityYearOutOfRange),
                                    Dialogs::Icon::Warning);
        return false;
    case CommandBuffer::IssueCheck::BadIdentificationCode:
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::UserIdOutOfRange), Dialogs::Icon::Warning);
        return false;
    }

    const QDate date = request.validity;
    const QString validity = request.permanent ? m_page.Check1->text()
                                               : QStringLiteral("%1-%2").arg(date.year()).arg(date.month());
    if (!m_context.dialogs().question(&m_page, m_context.language.message(Msg::ConfirmValidity) + validity))
        return false;
    if (!m_buffer.completeIssue(m_context.language))
        return false;
    return send(false);
}

bool IssuingController::send(bool restore)
{
    // A frame that never reached the device starts nothing: the page stays as it was, and
    // "command sent" would send the operator off to present cards that nobody writes.
    if (!SendFrame(m_port, m_buffer)) {
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::CommandNotSent), Dialogs::Icon::Warning);
        return false;
    }
    m_buffer.markSent(restore);
    logSentFrame();
    m_page.showTip(m_context.language.message(Msg::CommandSent));
    m_page.btnStart->setEnabled(false);
    m_page.btnStop->setEnabled(true);
    m_issuingActive = true;
    return true;
}

void IssuingController::logSentFrame()
{
    Database* db = m_context.databases().window();
    if (!db)
        return;
    Grid* grid = m_page.GridU2;
    const int row = grid->currentRow();
    QStringList terminals;
    for (int t : m_page.tickedTerminals())
        terminals << QString::number(t);
    const Type type = m_page.OptR->isChecked() ? Type::Restore : m_page.commandType();
    QString details = QStringLiteral("type: %1; terminals: %2; range: %3")
                          .arg(commandTypeText(type), terminals.join(QLatin1Char(',')))
                          .arg(m_page.rangeIndex());
    if (type != Type::Restore)
        details += QStringLiteral("; validity: ")
                   + (m_page.Check1->isChecked() ? QStringLiteral("permanent")
                                                 : m_page.DT1->date().toString(QStringLiteral("yyyy-MM")));
    if (type == Type::Renewal || type == Type::Restore)
        details += QStringLiteral("; card: ") + grid->cellText(row, CardholderColumn::Card);
    audit::record(*db, audit::Action::CardFrame,
                  row >= 1 ? trimSpaces(grid->cellText(row, CardholderColumn::Name)) + QLatin1Char(' ')
                                 + trimSpaces(grid->cellText(row, CardholderColumn::Phone))
                           : QString(),
                  details);
}

void IssuingController::stop()
{
    // The device did not get the stop: an open run stays open, its cards still recorded.
    if (!SendStop(m_port) && m_issuingActive) {
        m_context.dialogs().message(&m_page, m_context.language.message(Msg::CommandNotSent), Dialogs::Icon::Warning);
        return;
    }
    // An ordinary operator never gets the start button, not even through a stop.
    m_page.btnStart->setEnabled(m_administrator);
    m_page.btnStop->setEnabled(false);
    m_page.showTip(m_context.language.message(Msg::CommandSent), IssuingPage::SuccessColour);
    m_issuingActive = false;
    m_host.runs().end(RunGuard::Run::Issuing);
}

} // namespace k27
