#include "RecordPage.h"

#include "mainwin/FormControls.h"
#include "platform/Grid.h"

#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

RecordPage::RecordPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RecordPage"));

    FrmIO = frame(this, QStringLiteral("FrmIO"), QStringLiteral("查询选项"));
    TxtCode = lineEdit(FrmIO, QStringLiteral("TxtCode"), 20);
    T_Name = lineEdit(FrmIO, QStringLiteral("T_Name"), 20);
    T_Dpt = lineEdit(FrmIO, QStringLiteral("T_Dpt"), 20);
    T_No = lineEdit(FrmIO, QStringLiteral("T_No"), 3);

    CKD = check(FrmIO, QStringLiteral("CKD"), QStringLiteral("   进出时间:"));
    const QDate firstDate(2009, 12, 30), lastDate(2099, 12, 30);
    for (int i = 0; i < 2; ++i) {
        DT[i] = named(new QDateTimeEdit(FrmIO), QStringLiteral("DT"), i);
        DT[i]->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        DT[i]->setDateRange(firstDate, lastDate);
        DT[i]->setCalendarPopup(true);
        DT[i]->setMinimumHeight(FieldHeight);
        DT[i]->setMinimumWidth(180);
    }
    DT[1]->setDateTime(QDateTime(QDate(2011, 3, 15), QTime(0, 0)));
    DT[0]->setDateTime(QDateTime(QDate::currentDate(), QTime(0, 0)));
    CKNum = check(FrmIO, QStringLiteral("CKNum"), QStringLiteral("查询最近记录:最近(条)"));
    CmbNum = combo(FrmIO, QStringLiteral("CmbNum"));
    CmbNum->addItems({QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("200"), QStringLiteral("500"),
                      QStringLiteral("1000"), QStringLiteral("2000"), QStringLiteral("5000")});
    CmbNum->setEditText(QStringLiteral("200"));
    CmbNum->setMinimumWidth(90);

    BtnFind = button(FrmIO, QStringLiteral("BtnFind"), QStringLiteral("查询"));
    btnInputD = button(FrmIO, QStringLiteral("btnInputD"), QStringLiteral("导入"));
    BtnDelD = button(FrmIO, QStringLiteral("BtnDelD"), QStringLiteral("删除"));
    btnOutD = button(FrmIO, QStringLiteral("btnOutD"), QStringLiteral("导出"));

    auto* options = new QGridLayout(FrmIO);
    options->setHorizontalSpacing(8);
    options->setVerticalSpacing(8);
    const struct { const char* name; const char* caption; QWidget* field; } filters[] = {
        {"L_Code", "卡号：", TxtCode}, {"L_Name", "姓名：", T_Name},
        {"L_Dpt", "部门：", T_Dpt},    {"L_No", "终端机号：", T_No},
    };
    for (int i = 0; i < 4; ++i) {
        options->addWidget(label(FrmIO, QLatin1String(filters[i].name), QString::fromUtf8(filters[i].caption)),
                           0, i * 2);
        options->addWidget(filters[i].field, 0, i * 2 + 1);
        options->setColumnStretch(i * 2 + 1, 1);
    }
    auto* span = new QHBoxLayout;
    span->setSpacing(8);
    span->addWidget(CKD);
    span->addWidget(DT[1]);
    span->addWidget(label(FrmIO, QStringLiteral("Label58"), QStringLiteral("—")));
    span->addWidget(DT[0]);
    span->addSpacing(16);
    span->addWidget(CKNum);
    span->addWidget(CmbNum);
    span->addStretch();
    options->addLayout(span, 1, 0, 1, 8);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    auto* row1 = new QHBoxLayout;
    row1->addWidget(BtnFind);
    row1->addWidget(btnInputD);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(BtnDelD);
    row2->addWidget(btnOutD);
    buttons->addLayout(row1);
    buttons->addLayout(row2);
    options->addLayout(buttons, 0, 8, 2, 1);
    options->setColumnMinimumWidth(8, 2 * ButtonWidth + 8);

    GridIO = named(new Grid(this), QStringLiteral("GridIO"));

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(8);
    page->addWidget(FrmIO);
    page->addWidget(GridIO, 1);
}

} // namespace k27
