#include "ribbon/ImageList.h"
#include "ribbon/RibbonPicture.h"
#include "ribbon/RibbonTheme.h"
#include "ribbon/VelRibbon.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QtTest>

using namespace k27;

class TestRibbonTheme : public QObject
{
    Q_OBJECT
private slots:
    void namesAndColoursPerTheme()
    {
        QCOMPARE(RibbonTheme::name(0), QStringLiteral("BLACK"));
        QCOMPARE(RibbonTheme::name(1), QStringLiteral("BLUE"));
        QCOMPARE(RibbonTheme::name(2), QStringLiteral("SILVER"));
        QCOMPARE(RibbonTheme::name(7), QStringLiteral("BLACK"));
        QCOMPARE(RibbonTheme::name(-1), QStringLiteral("BLACK"));

        const RibbonThemeColours black = RibbonTheme::colours(0);
        QCOMPARE(black.titulo, QColor("#FFFFFF"));
        QCOMPARE(black.titulo2, QColor("#8AD1FF"));
        QCOMPARE(black.catCaption, QColor("#FFFFFF"));
        QCOMPARE(black.tabUnselected, QColor("#FFFFFF"));
        QCOMPARE(black.tabSelected, QColor("#000000"));
        QCOMPARE(black.buttonCaption, QApplication::palette().color(QPalette::WindowText));

        const RibbonThemeColours blue = RibbonTheme::colours(1);
        QCOMPARE(blue.titulo, QColor("#697079"));
        QCOMPARE(blue.titulo2, QColor("#3E6AB8"));
        QCOMPARE(blue.catCaption, QColor("#3E6AB8"));
        QCOMPARE(blue.tabUnselected, QColor("#15428B"));
        QCOMPARE(blue.tabSelected, QColor("#15428B"));
        QCOMPARE(blue.buttonCaption, QColor("#15428B"));

        const RibbonThemeColours silver = RibbonTheme::colours(2);
        QCOMPARE(silver.titulo, QColor("#5C626A"));
        QCOMPARE(silver.titulo2, QColor("#3E6AB8"));
        for (const QColor& c : {silver.catCaption, silver.tabUnselected, silver.tabSelected, silver.buttonCaption})
            QCOMPARE(c, QColor("#5C626A"));

        const RibbonThemeColours seven = RibbonTheme::colours(7);
        QCOMPARE(seven.titulo, black.titulo);
        QCOMPARE(seven.titulo2, black.titulo2);
        QCOMPARE(seven.tabSelected, black.tabSelected);
        QCOMPARE(seven.tabUnselected, black.tabUnselected);
    }

    void everyPictureIsAGif89aOfItsSize()
    {
        int checked = 0;
        for (const QString theme : {"BLACK", "BLUE", "SILVER"}) {
            for (int id = RibbonPicture::First; id <= RibbonPicture::Last; ++id) {
                const QString path = RibbonTheme::resourcePath(id, theme);
                QFile f(path);
                QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
                QCOMPARE(f.read(6), QByteArray("GIF89a"));
                f.close();
                QImageReader reader(path);
                QCOMPARE(reader.format(), QByteArray("gif"));
                const QImage image = reader.read();
                QVERIFY2(!image.isNull(), qPrintable(path + ": " + reader.errorString()));
                QCOMPARE(image.size(), RibbonPicture::size(id));
                ++checked;
            }
        }
        QCOMPARE(checked, 120);
        QCOMPARE(QImage(ImageList::programLogoPath()).size(), QSize(32, 32));
    }

    void loadResPictureReportsMissingPictures()
    {
        RibbonError error = RibbonError::None;
        QString detail;
        QVERIFY(RibbonTheme::loadResPicture(141, "BLUE", &error, &detail).isNull());
        QCOMPARE(error, RibbonError::PictureNotLoaded);
        QVERIFY(detail.contains("cLoadResPicture"));
        QVERIFY(RibbonTheme::loadResPicture(101, "GREEN", &error).isNull());
        QCOMPARE(error, RibbonError::PictureNotLoaded);

        QCOMPARE(RibbonTheme::loadResPicture(110, "SILVER", &error).size(), QSize(49, 45));
        QCOMPARE(error, RibbonError::None);

        VelRibbon ribbon;
        QVERIFY(ribbon.LoadResPicture(99, "BLUE").isNull());
        QCOMPARE(ribbon.lastError(), RibbonError::PictureNotLoaded);
        QCOMPARE(ribbon.LoadResPicture(127, "BLUE").size(), QSize(10, 24));
        QCOMPARE(ribbon.lastError(), RibbonError::None);
    }

    void themePropertyLoadsPicturesAndColours()
    {
        VelRibbon ribbon;
        RibbonError error = RibbonError::PictureNotLoaded;
        ribbon.setTheme(1, &error);
        QCOMPARE(error, RibbonError::None);
        QCOMPARE(ribbon.theme(), 1);
        QCOMPARE(ribbon.colours().tabSelected, QColor("#15428B"));
        QCOMPARE(ribbon.colours().tabUnselected, QColor("#15428B"));
        const QImage blueTab = ribbon.themePicture(RibbonPicture::Tab_left).toImage();
        QCOMPARE(blueTab, RibbonTheme::loadResPicture(RibbonPicture::Tab_left, "BLUE").toImage());

        // Any other value draws the BLACK theme (but is kept as written).
        ribbon.setProperty("Theme", 7);
        QCOMPARE(ribbon.theme(), 7);
        QCOMPARE(ribbon.colours().tabUnselected, QColor("#FFFFFF"));
        QCOMPARE(ribbon.colours().tabSelected, QColor("#000000"));
        for (int id = RibbonPicture::First; id <= RibbonPicture::Last; ++id)
            QCOMPARE(ribbon.themePicture(id).toImage(), RibbonTheme::loadResPicture(id, "BLACK").toImage());
        QVERIFY(ribbon.themePicture(RibbonPicture::Tab_left).toImage() != blueTab);

        // The three themes really differ.
        ribbon.LoadTheme(2);
        QVERIFY(ribbon.themePicture(RibbonPicture::Barra2).toImage()
                != RibbonTheme::loadResPicture(RibbonPicture::Barra2, "BLUE").toImage());
    }
};

QTEST_MAIN(TestRibbonTheme)
#include "RibbonThemeTest.moc"
