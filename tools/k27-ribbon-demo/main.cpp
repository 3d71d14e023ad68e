// k27-ribbon-demo: a frameless host window with the ribbon bar as the program's
// main window sets it up (five tabs), to try the bar by hand and take screenshots.
//
//   k27-ribbon-demo [--theme 0|1|2] [--groups] [--caption TEXT] [--size WxH] [--pos X,Y]
//
// --groups adds a few categories and buttons to the first two tabs, to show that
// part of the bar as well (the program itself adds none).

#include "ribbon/ImageList.h"
#include "ribbon/VelRibbon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCommandLineParser>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QVBoxLayout>

namespace {

class DemoHost : public QWidget
{
public:
    DemoHost()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        ribbon = new k27::VelRibbon(this);
        layout->addWidget(ribbon);
        page = new QLabel(this);
        page->setAlignment(Qt::AlignCenter);
        page->setAutoFillBackground(true);
        QPalette pal = page->palette();
        pal.setColor(QPalette::Window, QColor(0xF7, 0xF9, 0xFC));
        page->setPalette(pal);
        layout->addWidget(page, 1);
    }

    k27::VelRibbon* ribbon = nullptr;
    QLabel* page = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        ribbon->Resize();
    }
    void closeEvent(QCloseEvent* event) override
    {
        qInfo("close requested");
        event->accept();
    }
};

// Demo button pictures: simple coloured shapes, 32 x 32.
QPixmap demoIcon(QColor colour, int shape)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 2, 0, 30);
    g.setColorAt(0, colour.lighter(150));
    g.setColorAt(1, colour.darker(120));
    p.setBrush(g);
    p.setPen(QPen(colour.darker(160), 1.2));
    if (shape == 0)
        p.drawRoundedRect(QRectF(4.5, 6.5, 23, 19), 3, 3);
    else if (shape == 1)
        p.drawEllipse(QRectF(4.5, 4.5, 23, 23));
    else
        p.drawPolygon(QPolygonF({QPointF(16, 3.5), QPointF(28.5, 27.5), QPointF(3.5, 27.5)}));
    return pm;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser args;
    args.addHelpOption();
    args.addOption({"theme", "0 BLACK, 1 BLUE, 2 SILVER", "n", "1"});
    args.addOption({"groups", "add sample categories and buttons"});
    args.addOption({"caption", "window caption", "text", QStringLiteral("K27中心发卡门禁管理系统 - 管理员")});
    args.addOption({"size", "window size", "WxH", "1280x720"});
    args.addOption({"pos", "window position", "X,Y", "0,0"});
    args.process(app);

    DemoHost host;
    host.setWindowTitle(args.value("caption"));
    host.setWindowIcon(QIcon(k27::ImageList::programLogoLargePath()));
    const QStringList size = args.value("size").split('x');
    const QStringList pos = args.value("pos").split(',');
    host.resize(size.value(0).toInt(), size.value(1).toInt());
    host.move(pos.value(0).toInt(), pos.value(1).toInt());

    k27::ImageList images = k27::ImageList::withProgramLogo();
    const QColor colours[] = {QColor(0x2F, 0x7F, 0xD8), QColor(0x3C, 0xA5, 0x5C), QColor(0xE0, 0x8A, 0x2A),
                              QColor(0xC8, 0x45, 0x45), QColor(0x7A, 0x5C, 0xC8), QColor(0x2A, 0x9C, 0xA8)};
    for (int i = 0; i < 6; ++i)
        images.set(10 + i, demoIcon(colours[i], i % 3));

    k27::VelRibbon* r = host.ribbon;
    r->setTheme(args.value("theme").toInt());
    r->setImageList(images);
    r->setIcon(k27::ImageList::ProgramLogoIndex);
    r->setCaption(args.value("caption"));
    r->setShowCustomMenu(false);
    const QStringList tabs = {"用户管理", "终端机管理", "发卡管理", "进出记录", "系统设置"};
    for (int i = 0; i < tabs.size(); ++i)
        r->AddTab(QString::number(i + 1), tabs[i]);
    if (args.isSet("groups")) {
        r->AddCat("c1", "1", "用户资料", true);
        r->AddButton("b1", "c1", "添加用户", 10, false);
        r->AddButton("b2", "c1", "修改\r\n资料", 11, false, "修改所选用户的资料");
        r->AddButton("b3", "c1", "删除用户", 13, false);
        r->AddCat("c2", "1", "导入导出", false);
        r->AddButton("b4", "c2", "从Excel导入", 12, true);
        r->AddButton("b5", "c2", "导出", 14, false);
        r->AddCat("c3", "1", "打印", true);
        r->AddButton("b6", "c3", "打印列表", 15, false);
        r->AddCat("c4", "2", "终端机", false);
        r->AddButton("b7", "c4", "添加终端机", 10, false);
    }
    r->Refresh();

    auto showTab = [&host](const QString& id, const QString& caption) {
        host.page->setText(QStringLiteral("页面 %1：%2").arg(id, caption));
    };
    showTab("1", tabs[0]);
    QObject::connect(r, &k27::VelRibbon::TabClick, &host, showTab);
    QObject::connect(r, &k27::VelRibbon::ButtonClick, &host, [&host](const QString& id, const QString& caption) {
        host.page->setText(QStringLiteral("按钮 %1：%2").arg(id, QString(caption).replace("\r\n", "")));
    });
    QObject::connect(r, &k27::VelRibbon::MainMenuClick, &host, [&host] { host.page->setText("MainMenuClick"); });

    host.show();
    return app.exec();
}
