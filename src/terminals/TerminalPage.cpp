#include "TerminalPage.h"

#include "mainwin/FormControls.h"
#include "platform/Grid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace k27 {

using namespace form;

TerminalPage::TerminalPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TerminalPage"));

    Frame3 = frame(this, QStringLiteral("Frame3"), QStringLiteral("终端机信息"));
    Frame3->setFixedWidth(300);
    Label30 = named(new QLabel(QStringLiteral("终端机号："), Frame3), QStringLiteral("Label30"));
    TxtNo = lineEdit(Frame3, QStringLiteral("TxtNo"), 10);
    Label31 = named(new QLabel(QStringLiteral("终端机安装地址："), Frame3), QStringLiteral("Label31"));
    TxtAdd = named(new QPlainTextEdit(Frame3), QStringLiteral("TxtAdd"));
    TxtAdd->setFixedHeight(110);
    // The address column holds 100 characters: longer input is cut as it is typed.
    connect(TxtAdd, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = TxtAdd->toPlainText();
        if (text.size() > AddressMaxLength) {
            const QSignalBlocker block(TxtAdd);
            TxtAdd->setPlainText(text.left(AddressMaxLength));
            TxtAdd->moveCursor(QTextCursor::End);
        }
    });

    cmdAdd = button(Frame3, QStringLiteral("cmdAdd"), QStringLiteral("添加"));
    cmdUp = button(Frame3, QStringLiteral("cmdUp"), QStringLiteral("修改"));
    cmdUp->setEnabled(false);
    cmdD = button(Frame3, QStringLiteral("cmdD"), QStringLiteral("删除"));
    cmdIn = button(Frame3, QStringLiteral("cmdIn"), QStringLiteral("导入"));
    cmdPrint = button(Frame3, QStringLiteral("cmdPrint"), QStringLiteral("打印"));
    cmdEx = button(Frame3, QStringLiteral("cmdEx"), QStringLiteral("导出"));
    lblNote = named(new QLabel(QStringLiteral("提示:双击序号,选择数据进行修改。"), Frame3),
                    QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setStyleSheet(QStringLiteral("color: #5a6b80;"));

    auto* buttons = new QGridLayout;
    buttons->setSpacing(8);
    const QPushButton* order[] = {cmdAdd, cmdUp, cmdD, cmdIn, cmdPrint, cmdEx};
    for (int i = 0; i < 6; ++i)
        buttons->addWidget(const_cast<QPushButton*>(order[i]), i / 2, i % 2);

    auto* entry = new QVBoxLayout(Frame3);
    entry->setSpacing(6);
    entry->addWidget(Label30);
    entry->addWidget(TxtNo);
    entry->addSpacing(4);
    entry->addWidget(Label31);
    entry->addWidget(TxtAdd);
    entry->addSpacing(10);
    entry->addLayout(buttons);
    entry->addSpacing(10);
    entry->addWidget(lblNote);
    entry->addStretch();

    GridM = named(new Grid(this), QStringLiteral("GridM"));

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 10);
    page->setSpacing(10);
    page->addWidget(Frame3);
    page->addWidget(GridM, 1);
}

} // namespace k27
