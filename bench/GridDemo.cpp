// Shows the grid's features for a look: a terminal grid with merged headers,
// tick boxes and hidden drop-down columns, a cardholder-like list of 1,000,000
// virtual rows with drop-down columns, and the print preview of a terminal list.
//   k27-grid-demo [--dropdown] [--preview] [--pdf FILE] [--landscape]
#include "platform/Grid.h"
#include "platform/GridPageSetup.h"

#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

using k27::Grid;

namespace {

void setupTerminalGrid(Grid& z)
{
    z.setObjectName(QStringLiteral("GridZ"));
    z.setCols(13);
    z.setRows(17);
    z.setColumnWidth(0, 0);
    const QStringList months{"一月", "二月", "三月", "四月", "五月",   "六月",
                             "七月", "八月", "九月", "十月", "十一月", "十二月"};
    for (int g = 0; g < 3; ++g) {
        const int c = 1 + 4 * g;
        z.setColumnWidth(c, 20);
        z.setColumnWidth(c + 1, 50);
        z.setColumnWidth(c + 2, 160);
        z.setColumnWidth(c + 3, 0);
        z.setHeaderText(c + 1, QStringLiteral("终端机号"));
        z.setHeaderText(c + 2, QStringLiteral("安装地址"));
        z.setHeaderText(c + 3, QStringLiteral("有效期"));
        z.mergeHeader(c, c + 1);
        z.setColumnKind(c, Grid::ColumnKind::CheckBox);
        z.setColumnKind(c + 3, Grid::ColumnKind::DropDown);
        z.clearDropDownList(c + 3);
        for (const QString& m : months)
            z.addDropDownItem(c + 3, m);
        z.addDropDownItem(c + 3, QStringLiteral("永久有效"));
        for (int r = 1; r <= 16; ++r) {
            if (g == 2 && r > 14)
                continue;
            const int number = 16 * g + r;
            z.setCellText(r, c, number % 3 == 1 ? QStringLiteral("1") : QStringLiteral("0"));
            z.setCellText(r, c + 1, QString::number(number));
            z.setCellText(r, c + 2, QStringLiteral("%1号楼 东门").arg(number));
        }
    }
}

void setupHolderGrid(Grid& u, int rows)
{
    u.setObjectName(QStringLiteral("GridU"));
    u.setCols(10);
    const QStringList headers{"序号", "姓名", "性别", "部门", "职位", "住址", "电话", "卡号", "权限终端机", "时间期限"};
    const QList<int> widths{50, 80, 35, 180, 100, 200, 90, 70, 70, 100};
    for (int c = 0; c < 10; ++c) {
        u.setHeaderText(c, headers[c]);
        u.setColumnWidth(c, widths[c]);
    }
    u.setColumnKind(8, Grid::ColumnKind::DropDown);
    u.setColumnKind(9, Grid::ColumnKind::DropDown);
    u.setCellSource([](int r, int c) -> QString {
        switch (c) {
        case 1: return QStringLiteral("用户%1").arg(r);
        case 2: return r % 2 ? QStringLiteral("男") : QStringLiteral("女");
        case 3: return QStringLiteral("部门%1").arg(r % 17);
        case 4: return QStringLiteral("职员");
        case 5: return QStringLiteral("幸福路%1号").arg(r % 500);
        case 6: return QStringLiteral("1380000%1").arg(r % 10000, 4, 10, QLatin1Char('0'));
        case 7: return QStringLiteral("%1").arg(r * 7919 % 16777216, 10, 10, QLatin1Char('0'));
        case 8: return QString::number(r % 46 + 1);
        case 9: return QStringLiteral("2027：十二月");
        default: return {};
        }
    });
    u.setRows(rows + 1);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Grid demo"));
    auto* layout = new QVBoxLayout(&window);
    Grid z;
    setupTerminalGrid(z);
    z.setFixedHeight(16 * 22 + 26);
    Grid u;
    setupHolderGrid(u, 1000000);
    layout->addWidget(&z);
    layout->addWidget(&u);
    window.resize(1240, 860);
    window.show();

    u.setCurrentCell(3, 8);
    u.selectRow(3);
    // The page fills the drop-down list of the clicked cell.
    QObject::connect(&u, &Grid::clicked, &u, [&u] {
        u.clearDropDownList(8);
        for (const char* t : {"5", "17", "46"})
            u.addDropDownItem(8, QString::fromLatin1(t));
    });
    QObject::connect(&u, &Grid::dropDownChosen, &u, [](int col) { std::printf("dropDownChosen(%d)\n", col); });

    if (args.contains(QStringLiteral("--dropdown"))) {
        QTimer::singleShot(300, &u, [&u] {
            u.setCurrentCell(3, 8);
            emit u.view()->clicked(u.view()->model()->index(2, 7));
        });
    }

    Grid list; // the terminal list as printed
    list.setCols(3);
    list.setHeaderText(0, QStringLiteral("序号"));
    list.setHeaderText(1, QStringLiteral("终端机号"));
    list.setHeaderText(2, QStringLiteral("安装地址"));
    list.setColumnWidth(0, 50);
    list.setColumnWidth(1, 100);
    list.setColumnWidth(2, 600);
    list.setRows(369);
    for (int r = 1; r <= 368; ++r) {
        list.setCellText(r, 1, QString::number(r));
        list.setCellText(r, 2, QStringLiteral("第%1栋 %2单元 门禁").arg((r - 1) / 46 + 1).arg(r));
    }
    const bool landscape = args.contains(QStringLiteral("--landscape"));
    Grid holders;
    setupHolderGrid(holders, 120);
    Grid& printed = landscape ? holders : list;
    k27::SetPrin(landscape ? 0 : 1, printed,
                 landscape ? QStringLiteral("用户信息列表") : QStringLiteral("终端机信息列表"));

    const int pdfArg = int(args.indexOf(QStringLiteral("--pdf")));
    if (pdfArg > 0 && pdfArg + 1 < args.size()) {
        const bool ok = printed.printToPdf(args.at(pdfArg + 1));
        std::printf("pdf: %s\n", ok ? "written" : "failed");
        return ok ? 0 : 1;
    }
    if (args.contains(QStringLiteral("--preview")))
        QTimer::singleShot(300, &printed, [&printed, &window] { printed.print(&window); });
    return app.exec();
}
