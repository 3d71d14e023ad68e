#include "startup/Captions.h"
#include "startup/LanguageTable.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using namespace k27;

class TestLanguage : public QObject
{
    Q_OBJECT

    static QString resPath(const char* name)
    {
        return qEnvironmentVariable("K27_SOURCE_DIR") + QStringLiteral("/res/") + QLatin1String(name);
    }

private slots:
    void messageLines()
    {
        LanguageTable t;
        t.loadText(QStringLiteral("7/AB/CD\r\n501/x\r\n-1/x\r\n12.4/twelve\r\n 3 /three\r\n+4/four\r\n"
                                  "no separator\r\n\r\n1e1/ten\r\n0/zero"));
        QCOMPARE(t.message(7), QStringLiteral("AB/CD"));
        QCOMPARE(t.message(12), QStringLiteral("twelve"));
        QCOMPARE(t.message(3), QStringLiteral("three"));
        QCOMPARE(t.message(4), QStringLiteral("four"));
        QCOMPARE(t.message(10), QStringLiteral("ten"));
        QCOMPARE(t.message(0), QStringLiteral("zero"));
        QCOMPARE(t.message(500), QString());
        QCOMPARE(t.message(-1), QString());
        QCOMPARE(t.message(501), QString());
        // Text after the separator is kept exactly, blanks included.
        t.loadText(QStringLiteral("113/Import finished: \r\n"));
        QCOMPARE(t.message(113), QStringLiteral("Import finished: "));
    }

    void lineEnds()
    {
        LanguageTable t;
        t.loadText(QStringLiteral("1/one\r2/two\n3/three\r\n\r\n4/four"));
        QCOMPARE(t.message(1), QStringLiteral("one"));
        QCOMPARE(t.message(2), QStringLiteral("two"));
        QCOMPARE(t.message(3), QStringLiteral("three"));
        QCOMPARE(t.message(4), QStringLiteral("four"));
    }

    void captionsReplacedOnlyByFilesWithCaptions()
    {
        LanguageTable t;
        t.loadText(QStringLiteral("Label6/Name\r\nCmdTip/2/Skip\r\n/empty key\r\n1/one"));
        QCOMPARE(t.captions().size(), 3);
        QCOMPARE(t.captions()[0], (LanguageTable::Caption{QStringLiteral("Label6"), QStringLiteral("Name")}));
        QCOMPARE(t.captions()[2].first, QString());
        t.loadText(QStringLiteral("2/two"));
        QCOMPARE(t.captions().size(), 3);
        t.loadText(QStringLiteral("cmdOK/OK"));
        QCOMPARE(t.captions().size(), 1);
    }

    void switchKeepsMessagesTheFileLacks()
    {
        QTemporaryDir dir;
        LanguageTable t;
        QVERIFY(t.loadFile(resPath("Smp_Chs.lag")));
        const QString chinese40 = t.message(40);
        QVERIFY(!chinese40.isEmpty());
        const QString other = dir.filePath(QStringLiteral("other.lag"));
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("12/Wrong password\r\n");
        f.close();
        QVERIFY(t.loadFile(other));
        QCOMPARE(t.message(12), QStringLiteral("Wrong password"));
        QCOMPARE(t.message(40), chinese40);
    }

    void missingFileLeavesTable()
    {
        LanguageTable t;
        t.loadText(QStringLiteral("5/five\r\nLabel1/x"));
        QVERIFY(!t.loadFile(QStringLiteral("/nonexistent/English.lag")));
        QCOMPARE(t.message(5), QStringLiteral("five"));
        QCOMPARE(t.captions().size(), 1);
    }

    void encodings()
    {
        const QString text = QStringLiteral("12/密码错误，请重新输入！\r\nLabel6/姓名：");
        // UTF-8 with and without BOM.
        QCOMPARE(LanguageTable::decode(text.toUtf8()), text);
        QCOMPARE(LanguageTable::decode("\xEF\xBB\xBF" + text.toUtf8()), text);
        // Files of existing Chinese installations are GB18030 / code page 936.
        QStringEncoder gb("GB18030");
        QVERIFY(gb.isValid());
        const QByteArray legacy = gb.encode(text);
        QVERIFY(legacy != text.toUtf8());
        QCOMPARE(LanguageTable::decode(legacy), text);
    }

    void realFilesAreComplete_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("Simplified Chinese") << QStringLiteral("Smp_Chs.lag");
        QTest::newRow("Traditional Chinese") << QStringLiteral("big_Chs.lag");
        QTest::newRow("English") << QStringLiteral("English.lag");
    }

    void realFilesAreComplete()
    {
        QFETCH(QString, file);
        LanguageTable t;
        QVERIFY(t.loadFile(resPath(file.toLatin1().constData())));
        QList<int> used;
        auto range = [&](int a, int b) {
            for (int i = a; i <= b; ++i)
                used << i;
        };
        range(0, 4), range(6, 15), range(19, 31), used << 40, range(42, 48), range(50, 59), range(61, 67),
            range(69, 73), range(75, 104), range(106, 118), range(120, 141);
        for (int n : used)
            QVERIFY2(!t.message(n).isEmpty(), qPrintable(QStringLiteral("message %1 missing").arg(n)));
        QVERIFY(t.message(62).contains(t.message(73)));
        QVERIFY(!t.message(63).contains(t.message(73)));
        QVERIFY(!t.captions().isEmpty());
    }

    void applyCaptionsFindsControlsAndArrayMembers()
    {
        QWidget form;
        form.setObjectName(QStringLiteral("Frmmain"));
        auto* label = new QLabel(QStringLiteral("姓名："), &form);
        label->setObjectName(QStringLiteral("Label6"));
        QList<QPushButton*> tips;
        for (int i = 0; i < 4; ++i) {
            auto* b = new QPushButton(QStringLiteral("design"), &form);
            b->setObjectName(QStringLiteral("CmdTip"));
            b->setProperty("index", i);
            tips << b;
        }
        auto* plain = new QPushButton(QStringLiteral("design"), &form);
        plain->setObjectName(QStringLiteral("cmdOK"));
        auto* frame = new QGroupBox(QStringLiteral("检索"), &form);
        frame->setObjectName(QStringLiteral("Frame2"));
        auto* edit = new QLineEdit(QStringLiteral("typed"), &form);
        edit->setObjectName(QStringLiteral("TxtName"));
        auto* check = new QCheckBox(&form);
        check->setObjectName(QStringLiteral("Check1"));

        LanguageTable t;
        t.loadText(QStringLiteral("Label6/Name\r\nCmdTip/2/Skip\r\nCmdTip/0/Overwrite\r\ncmdOK/3/OK\r\n"
                                  "Frame2/Search\r\nTxtName/ignored\r\nCheck1/First\r\nCheck1/Permanent\r\n"
                                  "cmdok/wrong case\r\nCmdTip/7/none"));
        ApplyCaptions(&form, t);
        QCOMPARE(label->text(), QStringLiteral("Name"));
        QCOMPARE(tips[0]->text(), QStringLiteral("Overwrite"));
        QCOMPARE(tips[1]->text(), QStringLiteral("design"));
        QCOMPARE(tips[2]->text(), QStringLiteral("Skip"));
        QCOMPARE(tips[3]->text(), QStringLiteral("design"));
        QCOMPARE(plain->text(), QStringLiteral("OK")); // not in an array: the text after the first "/"
        QCOMPARE(frame->title(), QStringLiteral("Search"));
        QCOMPARE(edit->text(), QStringLiteral("typed"));      // a text box has no caption
        QCOMPARE(check->text(), QStringLiteral("Permanent")); // the last pair wins
    }

    void garbageFilesNeverCrash()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("g.lag"));
        auto write = [&](const QByteArray& bytes) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(bytes);
        };
        LanguageTable t;
        QByteArray garbage(200000, '\0');
        for (char& b : garbage)
            b = char(QRandomGenerator::global()->bounded(256));
        write(garbage);
        QVERIFY(t.loadFile(path));
        write(QByteArray(1 << 20, 'x') + "/" + QByteArray(1 << 20, 'y') + "\r\n42/" + QByteArray(1 << 20, 'z'));
        QVERIFY(t.loadFile(path));
        QCOMPARE(t.message(42).size(), 1 << 20);
        write(QByteArray());
        QVERIFY(t.loadFile(path));
        QCOMPARE(t.message(42).size(), 1 << 20);
    }
};

QTEST_MAIN(TestLanguage)
#include "LanguageTest.moc"
