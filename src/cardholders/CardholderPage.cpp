#include "CardholderPage.h"

#include "mainwin/FormControls.h"
#include "platform/Grid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

CardholderPage::CardholderPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CardholderPage"));

    // Frame "添加用户": two columns of fields beside the photo, buttons underneath.
    frameAdd = frame(this, QStringLiteral("Frame40"), QStringLiteral("添加用户"));
    TxtName = lineEdit(frameAdd, QStringLiteral("TxtName"), 50);
    Combo1 = combo(frameAdd, QStringLiteral("Combo1"), -1, false);
    Combo1->addItems({QStringLiteral("男"), QStringLiteral("女")});
    TxtDp = lineEdit(frameAdd, QStringLiteral("TxtDp"), 100);
    TxtJob = lineEdit(frameAdd, QStringLiteral("TxtJob"), 50);
    txtAd = lineEdit(frameAdd, QStringLiteral("txtAd"), 200);
    txtTel = lineEdit(frameAdd, QStringLiteral("txtTel"), 50);
    Image1 = named(new QLabel(QStringLiteral("双击选择照片"), frameAdd), QStringLiteral("Image1"));
    Image1->setFixedSize(112, 140);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setWordWrap(true);
    Image1->setFrameShape(QFrame::StyledPanel);
    Image1->setStyleSheet(QStringLiteral("QLabel#Image1 { background: #f4f6f9; color: #7a8594; }"));
    btnInsert = button(frameAdd, QStringLiteral("btnInsert"), QStringLiteral("添加"));
    BtnUpdate = button(frameAdd, QStringLiteral("BtnUpdate"), QStringLiteral("修改"));
    BtnUpdate->setEnabled(false);
    btnCls = button(frameAdd, QStringLiteral("btnCls"), QStringLiteral("清空"));

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setVerticalSpacing(8);
    const struct { const char* name; const char* caption; QWidget* field; int row, col; } addFields[] = {
        {"Label40", "姓名：", TxtName, 0, 0}, {"Label41", "性别：", Combo1, 0, 2},
        {"Label42", "部门：", TxtDp, 1, 0},   {"Label43", "职位：", TxtJob, 1, 2},
        {"Label44", "住址：", txtAd, 2, 0},   {"Label45", "电话：", txtTel, 2, 2},
    };
    for (const auto& f : addFields) {
        fields->addWidget(label(frameAdd, QLatin1String(f.name), QString::fromUtf8(f.caption)), f.row, f.col);
        fields->addWidget(f.field, f.row, f.col + 1);
    }
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);
    auto* addButtons = new QHBoxLayout;
    addButtons->addStretch();
    addButtons->addWidget(btnInsert);
    addButtons->addWidget(BtnUpdate);
    addButtons->addWidget(btnCls);
    fields->addLayout(addButtons, 3, 0, 1, 4);
    auto* addLayout = new QHBoxLayout(frameAdd);
    addLayout->addLayout(fields, 1);
    addLayout->addSpacing(8);
    addLayout->addWidget(Image1, 0, Qt::AlignTop);

    // Frame "检索": the four search fields, then the list buttons.
    frameSearch = frame(this, QStringLiteral("Frame41"), QStringLiteral("检索"));
    auto* search = new QGridLayout(frameSearch);
    search->setHorizontalSpacing(8);
    search->setVerticalSpacing(8);
    const char* searchLabels[4][2] = {{"Label46", "姓名检索："}, {"Label47", "卡号检索："},
                                      {"Label48", "部门检索："}, {"Label49", "住址检索："}};
    for (int i = 0; i < 4; ++i) {
        auto* field = combo(frameSearch, QStringLiteral("CmbF"), i);
        CmbF << field;
        search->addWidget(label(frameSearch, QLatin1String(searchLabels[i][0]),
                                QString::fromUtf8(searchLabels[i][1])), i / 2, (i % 2) * 2);
        search->addWidget(field, i / 2, (i % 2) * 2 + 1);
        connect(field, &QComboBox::editTextChanged, this, &CardholderPage::searchChanged);
        connect(field, &QComboBox::activated, this, &CardholderPage::searchChanged);
    }
    search->setColumnStretch(1, 1);
    search->setColumnStretch(3, 1);
    btndel = button(frameSearch, QStringLiteral("btndel"), QStringLiteral("删除"));
    btnInput = button(frameSearch, QStringLiteral("btnInput"), QStringLiteral("导入"));
    btnEx = button(frameSearch, QStringLiteral("btnEx"), QStringLiteral("导出"));
    btnPrint = button(frameSearch, QStringLiteral("btnPrint"), QStringLiteral("打印"));
    auto* listButtons = new QHBoxLayout;
    listButtons->addStretch();
    for (QPushButton* b : {btndel, btnInput, btnEx, btnPrint})
        listButtons->addWidget(b);
    search->addLayout(listButtons, 3, 0, 1, 4);
    search->setRowStretch(2, 1);

    GridU = named(new Grid(this), QStringLiteral("GridU"));

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    top->addWidget(frameAdd, 5);
    top->addWidget(frameSearch, 4);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(8);
    page->addLayout(top);
    page->addWidget(GridU, 1);
}

QStringList CardholderPage::searchTexts() const
{
    QStringList texts;
    for (const QComboBox* field : CmbF)
        texts << field->currentText();
    return texts;
}

void CardholderPage::clearSearch()
{
    for (QComboBox* field : CmbF) {
        const QSignalBlocker block(field);
        field->setEditText(QString());
    }
}

} // namespace k27
