#include "ribbon/RibbonLayout.h"
#include "ribbon/RibbonPicture.h"

#include <QtTest>

using namespace k27;

namespace {

constexpr int Px = RibbonLayout::TwipsPerPixel;

RibbonBarInput bar(int widthPx, bool custom = false, int topButtons = 0)
{
    RibbonBarInput in;
    in.barWidth = widthPx * Px;
    in.showCustomMenu = custom;
    in.topButtonCount = topButtons;
    in.tituloWidth = 300 * Px;
    in.captionHeight = 16 * Px;
    return in;
}

} // namespace

class TestRibbonLayout : public QObject
{
    Q_OBJECT
private slots:
    void splitsCaptionAtFirstSpacedDash_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("split");
        QTest::newRow("split") << "K27 - admin"
                               << "K27 - "
                               << "admin" << true;
        QTest::newRow("first of two") << "A - B - C"
                                      << "A - "
                                      << "B - C" << true;
        QTest::newRow("hyphen without blanks") << "K27-admin"
                                               << "K27-admin"
                                               << "" << false;
        QTest::newRow("dash at end") << "K27 - "
                                     << "K27 - "
                                     << "" << true;
        QTest::newRow("empty") << ""
                               << ""
                               << "" << false;
    }
    void splitsCaptionAtFirstSpacedDash()
    {
        QFETCH(QString, caption);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, split);
        const RibbonCaptionParts p = RibbonLayout::splitCaption(caption);
        QCOMPARE(p.first, first);
        QCOMPARE(p.second, second);
        QCOMPARE(p.split, split);
    }

    void captionBarStartsAfterStripEndOrCustomButton()
    {
        // No top buttons: the strip has no width, its end piece follows the application button.
        RibbonBarGeometry g = RibbonLayout::layOutBar(bar(1280));
        QCOMPARE(g.ribbonTop, QRect(735, 0, 0, 390));
        QCOMPARE(g.ribbonTopRight.x(), 735);
        QVERIFY(!g.customVisible);
        QCOMPARE(g.barra.x(), 735 + 195);
        QCOMPARE(g.barra.width(), 1280 * Px - (735 + 195) - 3 * 600);

        g = RibbonLayout::layOutBar(bar(1280, true));
        QVERIFY(g.customVisible);
        QCOMPARE(g.ribbonTopCustom.x(), 735 + 195);
        QCOMPARE(g.barra.x(), 735 + 195 + 225);
        QCOMPARE(g.barra.x() + g.barra.width(), g.minButton.x());

        // Each top button widens the strip by 330 twips.
        g = RibbonLayout::layOutBar(bar(1280, false, 3));
        QCOMPARE(g.ribbonTop.width(), 990);
        QCOMPARE(g.barra.x(), 735 + 990 + 195);
        QCOMPARE(RibbonLayout::topButton(g, 3, QSize(240, 240)).over.x(), 735 + 660);
        QCOMPARE(RibbonLayout::topButton(g, 3, QSize(240, 240)).icon, QRect(735 + 660 + 45, 75, 240, 240));
    }

    void captionIsCentredInOneOrTwoParts()
    {
        RibbonBarInput in = bar(1000);
        in.tituloWidth = 1501;
        in.titulo2Width = 900;
        in.captionSplit = true;
        RibbonBarGeometry g = RibbonLayout::layOutBar(in);
        QVERIFY(g.titulo2Visible);
        QCOMPARE(g.titulo2.x(), g.titulo.x() + 1501);
        const int leftGap = g.titulo.x() - g.barra.x();
        const int rightGap = g.barra.x() + g.barra.width() - (g.titulo2.x() + g.titulo2.width());
        QVERIFY(qAbs(leftGap - rightGap) <= 1);
        QCOMPARE(g.titulo.y(), (390 - 16 * Px) / 2);

        in.captionSplit = false;
        in.titulo2Width = 0;
        g = RibbonLayout::layOutBar(in);
        QVERIFY(!g.titulo2Visible);
        QCOMPARE(g.titulo.x(), g.barra.x() + (g.barra.width() - 1501) / 2);
    }

    void windowButtonsFollowTheRightEdge()
    {
        for (int w : {800, 1280, 1920}) {
            const RibbonBarGeometry g = RibbonLayout::layOutBar(bar(w));
            QCOMPARE(g.barra2.width(), w * Px);
            QCOMPARE(g.endButton, QRect(w * Px - 600, 0, 600, 345));
            QCOMPARE(g.maxButton, QRect(w * Px - 1200, 0, 600, 345));
            QCOMPARE(g.minButton, QRect(w * Px - 1800, 0, 600, 345));
            QCOMPARE(g.barraRight.x(), w * Px - 105);
            QCOMPARE(g.barHeight, 142 * Px);
        }
    }

    void logoIsCentredOnApplicationButton()
    {
        RibbonBarInput in = bar(800);
        in.logo = QSize(32 * Px, 32 * Px);
        QCOMPARE(RibbonLayout::layOutBar(in).logo, QRect(97, 97, 480, 480));
        in.logo = QSize();
        QVERIFY(RibbonLayout::layOutBar(in).logo.isEmpty());
    }

    void tabsFollowEachOtherWithoutGaps()
    {
        const std::vector<int> widths = {48 * Px, 60 * Px, 13 * Px, 96 * Px, 33 * Px};
        const auto tabs = RibbonLayout::buildTabRow(widths, 16 * Px);
        QCOMPARE(tabs.size(), std::size_t(5));
        QCOMPARE(tabs[0].left.x(), 735);
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            const RibbonTabGeometry& t = tabs[i];
            QCOMPARE(t.left.y(), 395);
            QCOMPARE(t.caption.y(), 455);
            QCOMPARE(t.center.width(), widths[i]);
            QCOMPARE(t.caption.x(), t.center.x());
            QCOMPARE(t.center.x(), t.left.x() + t.left.width());
            QCOMPARE(t.right.x(), t.center.x() + t.center.width());
            // The hit area covers exactly the three pieces; hover pieces lie on them.
            QCOMPARE(t.mouse, t.left.united(t.center).united(t.right));
            QCOMPARE(t.mouse.width(), 150 + widths[i] + 150);
            QCOMPARE(t.overCenter, t.center);
            QCOMPARE(t.overLeft, t.left);
            QCOMPARE(t.overRight, t.right);
            if (i > 0)
                QCOMPARE(t.mouse.x(), tabs[i - 1].mouse.x() + tabs[i - 1].mouse.width());
            // In pixels the hit areas still touch and do not overlap.
            if (i > 0)
                QCOMPARE(RibbonLayout::toPixels(t.mouse).left(), RibbonLayout::toPixels(tabs[i - 1].mouse).right() + 1);
        }
        QVERIFY(RibbonLayout::buildTabRow({}, 240).empty());
    }

    void categoriesAndButtonsSideBySide()
    {
        RibbonButtonInput wide;
        wide.captionWidth = 70 * Px;
        wide.captionHeight = 16 * Px;
        wide.icon = QSize(32 * Px, 32 * Px);
        RibbonButtonInput narrow = wide;
        narrow.captionWidth = 20 * Px;
        narrow.more = true;

        RibbonCategoryInput first;
        first.captionWidth = 40 * Px;
        first.captionHeight = 16 * Px;
        first.buttons = {wide, narrow};
        RibbonCategoryInput second; // no buttons, with a dialog launcher
        second.captionWidth = 50 * Px;
        second.captionHeight = 16 * Px;
        second.dialogButton = true;
        RibbonCategoryInput third = first; // caption wider than its one button
        third.captionWidth = 200 * Px;
        third.buttons = {narrow};

        const auto cats = RibbonLayout::buildCategories({first, second, third});
        QCOMPARE(cats.size(), std::size_t(3));

        const RibbonCategoryGeometry& a = cats[0];
        QCOMPARE(a.left.x(), 120);
        QCOMPARE(a.left.y(), RibbonLayout::CategoryTop);
        QCOMPARE(a.center.x(), 120 + 60);
        QCOMPARE(a.buttons.size(), std::size_t(2));
        QCOMPARE(a.buttons[0].mouse.x(), a.center.x());
        QCOMPARE(a.buttons[1].mouse.x(), a.buttons[0].mouse.x() + a.buttons[0].mouse.width());
        QCOMPARE(a.buttonsWidth, a.buttons[0].mouse.width() + a.buttons[1].mouse.width());
        QCOMPARE(a.center.width(), a.buttonsWidth); // caption narrower than the buttons
        QCOMPARE(a.caption.x(), a.center.x() + (a.center.width() - 40 * Px) / 2);
        QCOMPARE(a.right.x(), a.center.x() + a.center.width());
        QCOMPARE(a.mouse, a.left.united(a.center).united(a.right));
        QVERIFY(a.dialog.isEmpty());
        for (const RibbonButtonGeometry& b : a.buttons) {
            QCOMPARE(b.mouse.y(), RibbonLayout::CategoryTop + 60);
            QCOMPARE(b.mouse, b.left.united(b.center).united(b.right));
            QVERIFY(b.mouse.width() >= 70 * Px || b.caption.width() == 20 * Px);
            QVERIFY(b.mouse.contains(b.icon) && b.mouse.contains(b.caption));
            QVERIFY(b.icon.bottom() < b.caption.top());
            QVERIFY(a.mouse.contains(b.mouse));
        }
        QVERIFY(a.buttons[0].glip.isEmpty());
        QVERIFY(!a.buttons[1].glip.isEmpty());
        QVERIFY(a.buttons[1].glip.top() > a.buttons[1].caption.bottom());
        QVERIFY(a.buttons[1].mouse.contains(a.buttons[1].glip));

        const RibbonCategoryGeometry& b = cats[1];
        QCOMPARE(b.left.x(), a.right.x() + a.right.width());
        QCOMPARE(b.buttonsWidth, 0);
        QCOMPARE(b.center.width(), 50 * Px + 225);
        QCOMPARE(b.caption.x(), b.center.x());
        QCOMPARE(b.dialog, QRect(b.right.x() - 225 + 15, b.right.y() + 1335 - (210 + 60), 225, 210));

        const RibbonCategoryGeometry& c = cats[2];
        QCOMPARE(c.left.x(), b.right.x() + b.right.width());
        QCOMPARE(c.center.width(), 200 * Px);
        QCOMPARE(c.caption.x(), c.center.x());
        QCOMPARE(c.buttons[0].mouse.x(), c.center.x());
    }
};

QTEST_APPLESS_MAIN(TestRibbonLayout)
#include "RibbonLayoutTest.moc"
