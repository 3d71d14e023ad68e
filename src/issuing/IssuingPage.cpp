#include "IssuingPage.h"

#include "cardholders/CardholderTable.h"
#include "platform/FormControls.h"
#include "platform/Grid.h"

#include <QDateEdit>
#include <QEvent>
#include <QHeaderView>
#include <QStyle>
#include <QTableView>
#include <algorithm>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

IssuingPage::IssuingPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("IssuingPage"));
    buildSettingsFrame();
    QLayout* runBox = buildRunBox();
    buildSearchFrame();

    GridZ = named(new Grid(this), QStringLiteral("GridZ"));
    GridZ->setFixedWidth(TerminalGridWidth);
    GridU2 = named(new Grid(this), QStringLiteral("GridU2"));

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(frameSettings, 3);
    top->addLayout(runBox, 2);
    top->addWidget(frameSearch, 4);

    auto* lists = new QHBoxLayout;
    lists->setSpacing(ListSpacing);
    auto* left = new QVBoxLayout;
    left->setSpacing(6);
    left->addWidget(GridZ, 1);
    left->addWidget(Lbltip);
    lists->addLayout(left, 0);
    lists->addWidget(GridU2, 1);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(8);
    page->addLayout(top);
    page->addLayout(lists, 1);

    tabChain({CmbNo, TxtC, DT1, Check1, txtUser, OptN, OptT, OptO, OptR, btnStart, btnStop, CmbF[0], CmbF[1], CmbF[2],
              CmbF[3], GridZ, GridU2});
}

void IssuingPage::buildSettingsFrame()
{
    // Frame "设置": range, identification code, validity and target.
    frameSettings = frame(this, QStringLiteral("Frame42"), QStringLiteral("设置"));
    CmbNo = combo(frameSettings, QStringLiteral("CmbNo"), -1, false);
    for (int r = 0; r < RangeCount; ++r)
        CmbNo->addItem(QStringLiteral("%1到%2")
                           .arg(r * TerminalsPerRange + 1, 2, 10, QLatin1Char('0'))
                           .arg((r + 1) * TerminalsPerRange));
    TxtC = lineEdit(frameSettings, QStringLiteral("TxtC"), 3);
    TxtC->setText(QStringLiteral("00"));
    Check1 = check(frameSettings, QStringLiteral("Check1"), QStringLiteral("永久有效"));
    DT1 = named(new QDateEdit(QDate::currentDate(), frameSettings), QStringLiteral("DT1"));
    DT1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DT1->setCalendarPopup(true);
    DT1->setMinimumHeight(FieldHeight);
    connect(Check1, &QCheckBox::toggled, DT1, [this](bool on) { DT1->setEnabled(!on); });
    txtUser = lineEdit(frameSettings, QStringLiteral("txtUser"));
    txtUser->setReadOnly(true);

    auto* settings = new QGridLayout(frameSettings);
    settings->setHorizontalSpacing(8);
    settings->setVerticalSpacing(8);
    settings->addWidget(label(frameSettings, QStringLiteral("Label50"), QStringLiteral("终端机号码段：")), 0, 0);
    settings->addWidget(CmbNo, 0, 1);
    settings->addWidget(label(frameSettings, QStringLiteral("Label51"), QStringLiteral("用户识别码：")), 0, 2);
    settings->addWidget(TxtC, 0, 3);
    settings->addWidget(label(frameSettings, QStringLiteral("Label52"), QStringLiteral("有效期至：")), 1, 0);
    settings->addWidget(DT1, 1, 1);
    settings->addWidget(Check1, 1, 2, 1, 2);
    settings->addWidget(label(frameSettings, QStringLiteral("Label53"), QStringLiteral("目标用户：")), 2, 0);
    settings->addWidget(txtUser, 2, 1, 1, 3);
    settings->setColumnStretch(1, 2);
    settings->setColumnStretch(3, 1);
}

QLayout* IssuingPage::buildRunBox()
{
    // Frame "命令类型": the four command types.
    frameCommand = frame(this, QStringLiteral("Frame43"), QStringLiteral("命令类型"));
    OptN = option(frameCommand, QStringLiteral("OptN"), QStringLiteral("发行新卡"));
    OptT = option(frameCommand, QStringLiteral("OptT"), QStringLiteral("临时卡"));
    OptO = option(frameCommand, QStringLiteral("OptO"), QStringLiteral("用户续卡"));
    OptR = option(frameCommand, QStringLiteral("OptR"), QStringLiteral("还原卡片"));
    OptN->setChecked(true);
    auto* command = new QGridLayout(frameCommand);
    command->setSpacing(8);
    command->addWidget(OptN, 0, 0);
    command->addWidget(OptT, 0, 1);
    command->addWidget(OptO, 1, 0);
    command->addWidget(OptR, 1, 1);

    btnStart = button(this, QStringLiteral("btnStart"), QStringLiteral("开始发卡"));
    btnStop = button(this, QStringLiteral("btnStop"), QStringLiteral("停止发卡"));
    btnStop->setEnabled(false);
    Lbltip = named(new QLabel(this), QStringLiteral("Lbltip"));
    Lbltip->setMinimumHeight(ButtonHeight);
    Lbltip->setWordWrap(true);
    QFont tipFont = Lbltip->font();
    tipFont.setPointSizeF(tipFont.pointSizeF() * 1.3);
    tipFont.setBold(true);
    Lbltip->setFont(tipFont);

    // The run's buttons under the command types: the top row stays narrow enough for a
    // 1024-pixel screen in every language.
    auto* runButtons = new QHBoxLayout;
    runButtons->setSpacing(8);
    runButtons->addWidget(btnStart);
    runButtons->addWidget(btnStop);
    runButtons->addStretch();
    auto* runBox = new QVBoxLayout;
    runBox->setSpacing(8);
    runBox->addWidget(frameCommand);
    runBox->addLayout(runButtons);
    runBox->addStretch();
    return runBox;
}

void IssuingPage::buildSearchFrame()
{
    // Search fields of the target list.
    frameSearch = frame(this, QStringLiteral("Frame44"), QStringLiteral("检索"));
    auto* search = new QGridLayout(frameSearch);
    search->setHorizontalSpacing(8);
    search->setVerticalSpacing(8);
    const char* searchLabels[4][2] = {
        {"Label54", "姓名检索："}, {"Label55", "卡号检索："}, {"Label56", "部门检索："}, {"Label57", "住址检索："}};
    for (int i = 0; i < 4; ++i) {
        auto* field = combo(frameSearch, QStringLiteral("CmbF"), 4 + i);
        field->lineEdit()->setMaxLength(CardholderTable::SearchTextLength);
        CmbF << field;
        search->addWidget(label(frameSearch, QLatin1String(searchLabels[i][0]), QString::fromUtf8(searchLabels[i][1])),
                          i / 2, (i % 2) * 2);
        search->addWidget(field, i / 2, (i % 2) * 2 + 1);
        connect(field, &QComboBox::editTextChanged, this, [this, i] { emit searchChanged(4 + i, true); });
        connect(field, &QComboBox::activated, this, [this, i] { emit searchChanged(4 + i, false); });
    }
    search->setColumnStretch(1, 1);
    search->setColumnStretch(3, 1);
}

// The terminal grid gives up address width (down to a narrow minimum) so that the target list
// beside it keeps its first columns (name, card, department, phone) in view.
void IssuingPage::fitLists()
{
    const QTableView* list = GridU2->view();
    const QHeaderView* header = list->horizontalHeader();
    int wanted = 2 * list->frameWidth() + list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list)
                 + GridU2->columnWidth(0);
    for (int visual = 0, shown = 0; visual < header->count() && shown < TargetColumnsInView; ++visual) {
        const int section = header->logicalIndex(visual);
        if (header->isSectionHidden(section))
            continue;
        wanted += header->sectionSize(section);
        ++shown;
    }
    if (!layout())
        return;
    // The width the page is shown in: a scroll area's view when it lies in one (the page
    // itself is never narrower than its controls need, which would keep the grid wide).
    const int shown = parentWidget() ? parentWidget()->width() : width();
    const QMargins margins = layout()->contentsMargins();
    const int room = shown - margins.left() - margins.right() - ListSpacing - wanted;
    const int grid = std::clamp(room, TerminalGridMinimumWidth, TerminalGridWidth);
    GridZ->setFixedWidth(grid);
    const int address = (grid - TerminalGridFrame) / 3 - TickWidth - NumberWidth;
    for (int group = 0; group < 3; ++group)
        if (GridZ->cols() > tickColumn(group) + 2)
            GridZ->setColumnWidth(tickColumn(group) + 2, address);
}

bool IssuingPage::event(QEvent* event)
{
    if (event->type() == QEvent::ParentChange && parentWidget())
        parentWidget()->installEventFilter(this);
    if (event->type() == QEvent::Resize)
        fitLists();
    return QWidget::event(event);
}

bool IssuingPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        fitLists();
    return QWidget::eventFilter(watched, event);
}

int IssuingPage::terminalAt(int range, int group, int row)
{
    if (row < 1 || row > GridZRows || group < 0 || group > 2)
        return 0;
    if (group == 2 && row > TerminalsPerRange - 2 * GridZRows)
        return 0;
    return TerminalsPerRange * range + GridZRows * group + row;
}

void IssuingPage::fillTerminalGrid(int range, const std::function<QString(int)>& addressOf)
{
    GridZ->setRedraw(false);
    if (GridZ->rows() != GridZRows + 1)
        GridZ->setRows(GridZRows + 1);
    for (int row = 1; row <= GridZRows; ++row) {
        for (int group = 0; group < 3; ++group) {
            const int col = tickColumn(group);
            if (GridZ->cellText(row, col).isEmpty())
                GridZ->setCellText(row, col, QStringLiteral("0"));
            const int number = terminalAt(range, group, row);
            GridZ->setCellText(row, col + 1, number ? QString::number(number) : QString());
            GridZ->setCellText(row, col + 2, number && addressOf ? addressOf(number) : QString());
        }
    }
    GridZ->setRedraw(true);
    GridZ->refresh();
}

void IssuingPage::clearTicks()
{
    GridZ->setRedraw(false);
    for (int row = 1; row < GridZ->rows() && row <= GridZRows; ++row)
        for (int group = 0; group < 3; ++group)
            GridZ->setCellText(row, tickColumn(group), QStringLiteral("0"));
    GridZ->setRedraw(true);
    GridZ->refresh();
}

QList<int> IssuingPage::tickedTerminals() const
{
    QList<int> ticked;
    for (int row = 1; row <= GridZRows && row < GridZ->rows(); ++row) {
        for (int group = 0; group < 3; ++group) {
            const int col = tickColumn(group);
            if (GridZ->cellText(row, col) != QLatin1String("1"))
                continue;
            const int number = GridZ->cellText(row, col + 1).trimmed().toInt();
            if (number > 0)
                ticked << number;
        }
    }
    return ticked;
}

CardFrame::CommandType IssuingPage::commandType() const
{
    using Type = CardFrame::CommandType;
    if (OptT->isChecked())
        return Type::Temporary;
    if (OptO->isChecked())
        return Type::Renewal;
    if (OptR->isChecked())
        return Type::Restore;
    return Type::NewCard;
}

bool IssuingPage::cardOnly() const
{
    return OptO->isChecked() || OptR->isChecked();
}

void IssuingPage::showTip(const QString& text, const QColor& colour)
{
    Lbltip->setText(text);
    if (!colour.isValid())
        return;
    m_tipColour = colour;
    Lbltip->setStyleSheet(QStringLiteral("QLabel#Lbltip { color: rgb(%1, %2, %3); }")
                              .arg(colour.red())
                              .arg(colour.green())
                              .arg(colour.blue()));
}

QStringList IssuingPage::searchTexts() const
{
    QStringList texts;
    for (const QComboBox* field : CmbF)
        texts << field->currentText();
    return texts;
}

void IssuingPage::clearSearch()
{
    for (QComboBox* field : CmbF) {
        const QSignalBlocker block(field);
        field->setEditText(QString());
    }
}

int IssuingPage::rangeIndex() const
{
    return qMax(0, CmbNo->currentIndex());
}

} // namespace k27
