#include "ribbon/ImageList.h"
#include "ribbon/RibbonHitArea.h"
#include "ribbon/VelRibbon.h"

#include <QCloseEvent>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using namespace k27;

namespace {

// A frameless host like the main window: the bar on top, told about every resize.
class Host : public QWidget
{
public:
    Host()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        ribbon = new VelRibbon(this);
        layout->addWidget(ribbon);
        layout->addStretch();
        resize(1000, 400);
    }
    VelRibbon* ribbon;
    int closeRequests = 0;

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QWidget::resizeEvent(e);
        ribbon->Resize();
    }
    void closeEvent(QCloseEvent* e) override
    {
        ++closeRequests;
        e->ignore(); // keep the window for the next checks
    }
};

QPixmap square(QColor c, int side = 32)
{
    QPixmap pm(side, side);
    pm.fill(c);
    return pm;
}

const QStringList Captions = {"用户管理", "终端机管理", "发卡管理", "进出记录", "系统设置"};

} // namespace

class TestVelRibbon : public QObject
{
    Q_OBJECT

    std::unique_ptr<Host> host;
    VelRibbon* r = nullptr;

    QWidget* area(const QString& name, int index = -1) const
    {
        for (QWidget* w : r->findChildren<QWidget*>(name))
            if (index < 0 || w->property("index").toInt() == index)
                return w;
        return nullptr;
    }
    void click(const QString& name, int index = -1)
    {
        QWidget* w = area(name, index);
        QVERIFY2(w && w->isVisible(), qPrintable(name));
        QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
    }
    // What a person's double-click delivers: press, release, double-click press, release.
    void doubleClick(const QString& name, int index = -1)
    {
        QWidget* w = area(name, index);
        QVERIFY2(w && w->isVisible(), qPrintable(name));
        QTest::mouseClick(w, Qt::LeftButton);
        QTest::mouseDClick(w, Qt::LeftButton);
        QTest::mouseRelease(w, Qt::LeftButton);
    }
    void hover(const QString& name, int index = -1)
    {
        QWidget* w = area(name, index);
        QVERIFY2(w && w->isVisible(), qPrintable(name));
        QTest::mouseMove(w, w->rect().center());
    }

private slots:
    void init()
    {
        host = std::make_unique<Host>();
        r = host->ribbon;
        ImageList images = ImageList::withProgramLogo();
        images.set(10, square(Qt::red));
        images.set(11, square(Qt::green, 16));
        // The main window's order of calls.
        r->setTheme(1);
        r->setImageList(images);
        r->setIcon(ImageList::ProgramLogoIndex);
        r->setCaption(QStringLiteral("K27中心发卡门禁管理系统"));
        r->setShowCustomMenu(false);
        for (int i = 0; i < Captions.size(); ++i)
            r->AddTab(QString::number(i + 1), Captions[i]);
        r->Refresh();
        host->show();
        QVERIFY(QTest::qWaitForWindowExposed(host.get()));
    }
    void cleanup() { host.reset(); }

    void tabsAreNamedHitAreasOverTheirTabs()
    {
        QCOMPARE(r->tabCount(), 5);
        QCOMPARE(r->selectedTab(), 0); // the first tab added is selected
        QCOMPARE(r->currentTabId(), QStringLiteral("1"));
        for (int i = 0; i < 5; ++i) {
            QWidget* w = area("TabMouse", i);
            QVERIFY(w && w->isVisible());
            QCOMPARE(w->geometry(), RibbonLayout::toPixels(r->tabGeometry()[i].mouse));
            QCOMPARE(w->accessibleName(), Captions[i]);
            QCOMPARE(r->tabGeometry()[i].center.width(),
                     RibbonLayout::toTwips(QFontMetrics(r->font()).horizontalAdvance(Captions[i])));
        }
        for (const char* name : {"Minoff", "Maxoff", "Endoff", "ButtonRibbon", "Barra"})
            QVERIFY2(area(name) && area(name)->isVisible(), name);
        QVERIFY(!area("RibbonTopCustom")->isVisible());
        QCOMPARE(r->height(), 142);
    }

    void tabClickSelectsAndReports()
    {
        QSignalSpy spy(r, &VelRibbon::TabClick);
        click("TabMouse", 3);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("4"));
        QCOMPARE(spy.at(0).at(1).toString(), Captions[3]);
        QCOMPARE(r->selectedTab(), 3);
        QCOMPARE(r->currentTabId(), QStringLiteral("4"));
        // The selected tab again: reported again.
        click("TabMouse", 3);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("4"));
        // A later Refresh keeps the tab the operator chose.
        r->Refresh();
        QCOMPARE(r->selectedTab(), 3);
        // A double-click is one click.
        doubleClick("TabMouse", 1);
        QCOMPARE(r->selectedTab(), 1);
        QCOMPARE(spy.count(), 3);
    }

    void captionsLoseLineBreaksOnlyWhereTheyMust()
    {
        r->AddTab("6", "A\r\nB");
        QCOMPARE(r->tabCaption(5), QStringLiteral("A B"));
        r->AddCat("c", "1", "Cat\r\nOne", false);
        r->AddButton("b1", "c", "Two\r\nlines", 10, false, QString());
        r->AddButton("b2", "c", "Plain", 10, true, "Tip\r\ntext");
        QCOMPARE(r->buttonCaption(0), QStringLiteral("Two\r\nlines"));
        QCOMPARE(r->buttonToolTip(0), QStringLiteral("Two lines"));
        QCOMPARE(r->buttonToolTip(1), QStringLiteral("Tip text"));
        r->Refresh();
        QCOMPARE(area("ButMouse", 0)->toolTip(), QStringLiteral("Two lines"));
        QCOMPARE(area("CatMouse", 0)->accessibleName(), QStringLiteral("Cat One"));
    }

    void buttonsAndCategoriesReportTheirIds()
    {
        r->AddCat("c1", "1", "Group", true);
        r->AddCat("c2", "2", "Other tab", false);
        r->AddButton("b1", "c1", "First", 10, false);
        r->AddButton("b2", "c1", "Second", 11, true, "tip");
        r->AddButton("b3", "c2", "Elsewhere", 10, false);
        r->Refresh();

        QVERIFY(area("CatMouse", 0)->isVisible());
        QVERIFY(!area("CatMouse", 1) || !area("CatMouse", 1)->isVisible()); // c2 belongs to tab 2
        QCOMPARE(area("ButMouse", 1)->property("buttonId").toString(), QStringLiteral("b2"));
        QVERIFY(!area("ButMouse", 2) || !area("ButMouse", 2)->isVisible());
        // Buttons side by side inside their category.
        const QRect b0 = area("ButMouse", 0)->geometry();
        const QRect b1 = area("ButMouse", 1)->geometry();
        QCOMPARE(b1.left(), b0.right() + 1);
        QVERIFY(area("CatMouse", 0)->geometry().contains(b0.united(b1)));

        QSignalSpy buttons(r, &VelRibbon::ButtonClick);
        click("ButMouse", 1);
        QCOMPARE(buttons.count(), 1);
        QCOMPARE(buttons.at(0).at(0).toString(), QStringLiteral("b2"));
        QCOMPARE(buttons.at(0).at(1).toString(), QStringLiteral("Second"));

        QSignalSpy cats(r, &VelRibbon::CatClick);
        click("Cat_Dlg", 0);
        QCOMPARE(cats.count(), 1);
        QCOMPARE(cats.at(0).at(0).toString(), QStringLiteral("c1"));
        QCOMPARE(cats.at(0).at(1).toString(), QStringLiteral("Group"));

        // Another tab shows its own categories only.
        click("TabMouse", 1);
        QVERIFY(!area("Cat_Dlg", 0)->isVisible());
        QCOMPARE(area("CatMouse", 0)->property("categoryId").toString(), QStringLiteral("c2"));
        click("ButMouse", 0);
        QCOMPARE(buttons.count(), 2);
        QCOMPARE(buttons.at(1).at(0).toString(), QStringLiteral("b3"));
    }

    void stripButtonsAndApplicationButtonReport()
    {
        QSignalSpy menu(r, &VelRibbon::MenuClick);
        QSignalSpy main(r, &VelRibbon::MainMenuClick);
        QSignalSpy custom(r, &VelRibbon::CustomClick);
        const int barraBefore = area("Barra")->x();
        r->AddTopButton("t1", "Save\r\nall", 11);
        QCOMPARE(area("Barra")->x(), barraBefore + 22); // laid out at once
        click("TBMouse", 1);
        QCOMPARE(menu.count(), 1);
        QCOMPARE(menu.at(0).at(0).toString(), QStringLiteral("t1"));
        QCOMPARE(area("TBMouse", 1)->toolTip(), QStringLiteral("Save all"));
        click("ButtonRibbon");
        QCOMPARE(main.count(), 1);

        r->setShowCustomMenu(true);
        QVERIFY(!area("RibbonTopCustom")->isVisible()); // not before the next layout
        r->Refresh();
        click("RibbonTopCustom");
        QCOMPARE(custom.count(), 1);
        QCOMPARE(area("Barra")->x(), barraBefore + 22 + 15);
    }

    void tablesRefuseBeyondTheirLimits()
    {
        RibbonError error = RibbonError::None;
        for (int i = 5; i < VelRibbon::MaxTabs; ++i)
            QCOMPARE(r->AddTab(QString::number(i + 1), "t", &error), 0);
        QCOMPARE(error, RibbonError::None);
        QCOMPARE(r->AddTab("32", "one too many", &error), 0);
        QCOMPARE(error, RibbonError::TableFull);
        QCOMPARE(r->lastError(), RibbonError::TableFull);
        QCOMPARE(r->tabCount(), 31);
        QCOMPARE(r->tabCaption(30), QStringLiteral("t"));

        for (int i = 0; i < VelRibbon::MaxCategories; ++i)
            r->AddCat(QString::number(i), "1", "c");
        QCOMPARE(r->lastError(), RibbonError::None);
        r->AddCat("x", "1", "c", false, &error);
        QCOMPARE(error, RibbonError::TableFull);
        QCOMPARE(r->categoryCount(), 31);

        for (int i = 0; i < VelRibbon::MaxButtons; ++i)
            r->AddButton(QString::number(i), "0", "b", 10, false);
        QCOMPARE(r->lastError(), RibbonError::None);
        r->AddButton("x", "0", "b", 10, false, {}, &error);
        QCOMPARE(error, RibbonError::TableFull);
        QCOMPARE(r->buttonCount(), 91);

        for (int i = 0; i < VelRibbon::MaxTopButtons; ++i)
            r->AddTopButton(QString::number(i), "t", 11);
        QCOMPARE(r->lastError(), RibbonError::None);
        r->AddTopButton("x", "t", 11, &error);
        QCOMPARE(error, RibbonError::TableFull);
        QCOMPARE(r->topButtonCount(), 31);

        // A successful call clears the error again.
        r->Refresh();
        QCOMPARE(r->lastError(), RibbonError::None);
        QCOMPARE(r->findChildren<RibbonHitArea*>("TabMouse").size(), 31);
    }

    void missingImagesAreRefused()
    {
        RibbonError error = RibbonError::None;
        r->AddTopButton("t", "t", 3, &error); // index 3 holds nothing
        QCOMPARE(error, RibbonError::NoSuchImage);
        QCOMPARE(r->topButtonCount(), 0);
        r->AddCat("c", "1", "c");
        r->AddButton("b", "c", "b", 99, false, {}, &error);
        QCOMPARE(error, RibbonError::NoSuchImage);
        QCOMPARE(r->buttonCount(), 0);
        r->setIcon(0, &error);
        QCOMPARE(error, RibbonError::NoSuchImage);
        QVERIFY(!r->barGeometry().logo.isEmpty()); // the logo set before stays
    }

    void windowButtonsActOnTheHost()
    {
        click("Maxoff");
        QVERIFY(host->isMaximized());
        click("Maxoff");
        QVERIFY(!host->isMaximized());
        doubleClick("Barra");
        QVERIFY(host->isMaximized());
        doubleClick("Barra");
        QVERIFY(!host->isMaximized());
        click("Endoff");
        QCOMPARE(host->closeRequests, 1);
        click("Minoff");
        QVERIFY(host->isMinimized());
    }

    void captionBarDragsTheWindow()
    {
        host->move(100, 100);
        QWidget* barra = area("Barra");
        const QPoint local = barra->rect().center();
        const QPoint global = barra->mapToGlobal(local);
        const QPoint start = host->pos();
        auto send = [&](QEvent::Type type, QPoint delta, Qt::MouseButtons buttons) {
            QMouseEvent e(type, QPointF(local + delta), QPointF(global + delta), Qt::LeftButton, buttons,
                          Qt::NoModifier);
            QApplication::sendEvent(barra, &e);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(40, 25), Qt::LeftButton);
        QCOMPARE(host->pos(), start + QPoint(40, 25));
        send(QEvent::MouseMove, QPoint(-10, 5), Qt::LeftButton);
        QCOMPARE(host->pos(), start + QPoint(-10, 5));
        send(QEvent::MouseButtonRelease, QPoint(-10, 5), Qt::NoButton);
        send(QEvent::MouseMove, QPoint(80, 80), Qt::NoButton);
        QCOMPARE(host->pos(), start + QPoint(-10, 5)); // released: no more moving
    }

    void resizeMovesWindowButtonsAndRecentresCaption()
    {
        host->resize(1400, 400);
        r->Resize();
        QCOMPARE(r->width(), 1400);
        QCOMPARE(area("Endoff")->geometry(), QRect(1360, 0, 40, 23));
        QCOMPARE(area("Maxoff")->x(), 1320);
        QCOMPARE(area("Minoff")->x(), 1280);
        const RibbonBarGeometry& g = r->barGeometry();
        QCOMPARE(g.barWidth, 1400 * 15);
        const int left = g.titulo.x() - g.barra.x();
        const int right = g.barra.x() + g.barra.width() - (g.titulo.x() + g.titulo.width());
        QVERIFY(qAbs(left - right) <= 1);
        QCOMPARE(area("Barra")->geometry().right() + 1, area("Minoff")->x());
    }

    void oneHighlightAtATime()
    {
        hover("TabMouse", 2);
        QCOMPARE(r->highlighted(), (VelRibbon::Element{VelRibbon::Part::Tab, 2}));
        hover("TabMouse", 3);
        QCOMPARE(r->highlighted(), (VelRibbon::Element{VelRibbon::Part::Tab, 3}));
        hover("Minoff");
        QCOMPARE(r->highlighted(), (VelRibbon::Element{VelRibbon::Part::Minimise, -1}));
        hover("ButtonRibbon");
        QCOMPARE(r->highlighted().part, VelRibbon::Part::AppButton);
        hover("Barra");
        QCOMPARE(r->highlighted().part, VelRibbon::Part::None);
        hover("Endoff");
        QCOMPARE(r->highlighted().part, VelRibbon::Part::Close);
        QTest::mouseMove(r, QPoint(600, 120)); // the empty category area
        QCOMPARE(r->highlighted().part, VelRibbon::Part::None);

        // Pressing a button shows its pressed frame until the release.
        r->AddCat("c", "1", "c");
        r->AddButton("b", "c", "b", 10, false);
        r->Refresh();
        QWidget* b = area("ButMouse", 0);
        QTest::mousePress(b, Qt::LeftButton);
        QCOMPARE(r->pressedElement(), (VelRibbon::Element{VelRibbon::Part::Button, 0}));
        QTest::mouseRelease(b, Qt::LeftButton);
        QCOMPARE(r->pressedElement().part, VelRibbon::Part::None);
    }
};

QTEST_MAIN(TestVelRibbon)
#include "VelRibbonTest.moc"
