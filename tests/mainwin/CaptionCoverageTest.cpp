// Every control of the main window that shows a caption has a caption line in the
// Traditional Chinese and English language files, so no Simplified Chinese design text
// is left standing after a language switch.

#include "MainWindowFixture.h"

#include "mainwin/Frmmain.h"
#include "startup/Captions.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace k27;
using namespace k27::test;

namespace {

// Caption keys of a language file: "name" or "name/index" for control-array members.
QSet<QString> captionKeys(const QString& path)
{
    QSet<QString> keys;
    LanguageTable table;
    if (!table.loadFile(path))
        return keys;
    for (const auto& [key, text] : table.captions()) {
        keys << key;
        const int slash = text.indexOf(u'/');
        if (slash > 0 && text.at(0).isDigit())
            keys << key + QLatin1Char('/') + text.left(slash);
    }
    return keys;
}

bool needsTranslation(const QString& caption)
{
    static const QRegularExpression wordish(QStringLiteral("[\\p{L}]"));
    return caption.contains(wordish);
}

} // namespace

class CaptionCoverageTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCaptionHasATranslation_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Traditional Chinese") << QStringLiteral("big_Chs.lag");
        QTest::newRow("English") << QStringLiteral("English.lag");
    }

    void everyCaptionHasATranslation()
    {
        QFETCH(QString, file);
        MainWindowFixture fx;
        Frmmain w(*fx.context);
        const QSet<QString> keys = captionKeys(fx.folder.path() + QStringLiteral("/res/") + file);
        QVERIFY(!keys.isEmpty());
        QStringList missing;
        for (QWidget* control : w.findChildren<QWidget*>()) {
            const bool hasCaption = qobject_cast<QAbstractButton*>(control) || qobject_cast<QGroupBox*>(control)
                                    || qobject_cast<QLabel*>(control);
            if (!hasCaption || control->objectName().isEmpty())
                continue;
            if (!needsTranslation(caption(control)))
                continue;
            const int index = controlIndex(control);
            const QString key = index >= 0 ? control->objectName() + QLatin1Char('/') + QString::number(index)
                                           : control->objectName();
            if (!keys.contains(key))
                missing << key + QStringLiteral(" (") + caption(control) + QLatin1Char(')');
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(CaptionCoverageTest)
#include "CaptionCoverageTest.moc"
