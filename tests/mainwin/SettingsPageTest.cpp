#include "ScriptedDialogs.h"
#include "TestPageHost.h"

#include "db/Backup.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "settings/SettingsPage.h"
#include "platform/Grid.h"
#include "platform/SerialPort.h"
#include "signin/OperatorTable.h"
#include "signin/PasswordHash.h"
#include "startup/AppContext.h"
#include "startup/RegisterChoice.h"
#include "startup/Captions.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <pty.h>
#include <unistd.h>

using namespace k27;
using k27::test::ScriptedDialogs;

namespace {

// The captions of the page's controls in the three languages.
struct CaptionLine
{
    const char* key;
    const char* text[3];
};
const CaptionLine captionLines[] = {
    // Frames and labels of the page without a name of their own.
    {"Frame70", {"数据库备份/恢复", "資料庫備份/還原", "Database backup/restore"}},
    {"Frame71", {"用户设置", "使用者設定", "Operators"}},
    {"Frame72", {"通讯设置", "通訊設定", "Communication"}},
    {"Frame73", {"界面设置", "介面設定", "Interface"}},
    {"Label70", {"用户名：", "使用者名稱：", "Name:"}},
    {"Label71", {"用户权限：", "使用者權限：", "Rights:"}},
    {"Label72", {"备注信息：", "備註資訊：", "Remark:"}},
    {"Label73", {"串口：", "序列埠：", "Port:"}},
    {"Label74", {"波特率：", "鮑率：", "Speed:"}},
    {"Label75", {"界面语言：", "介面語言：", "Language:"}},
    // Named controls.
    {"btnbak", {"备份数据库", "備份資料庫", "Back up"}},
    {"dcButton2", {"恢复数据库", "還原資料庫", "Restore"}},
    {"Label7", {"密码：", "密碼：", "Password:"}},
    {"Label8", {"确认密码：", "確認密碼：", "Confirm:"}},
    {"OptR0", {"管理员用户", "系統管理員", "Administrator"}},
    {"OptR1", {"普通用户", "一般使用者", "Ordinary operator"}},
    {"cmdAddU", {"添加", "新增", "Add"}},
    {"cmdUpU", {"修改", "修改", "Change"}},
    {"cmdDelU", {"删除", "刪除", "Delete"}},
    {"cmdApply", {"应用", "套用", "Apply"}},
    {"btnlag", {"应用", "套用", "Apply"}},
    // Messages: rights texts, the marker of an administrator, GridP headers.
    {"62", {"管理员用户", "系統管理員", "Administrator"}},
    {"63", {"普通用户", "一般使用者", "Ordinary operator"}},
    {"73", {"管理员", "管理員", "Administrator"}},
    {"91", {"序号", "序號", "No."}},
    {"92", {"用户名", "使用者名稱", "Operator"}},
    {"93", {"用户权限", "使用者權限", "Rights"}},
    {"94", {"备注信息", "備註資訊", "Remark"}},
};

QString captionText(const char* key, int language)
{
    for (const CaptionLine& line : captionLines)
        if (qstrcmp(line.key, key) == 0)
            return QString::fromUtf8(line.text[language]);
    return {};
}

const QStringList tags{QStringLiteral("简"), QStringLiteral("繁"), QStringLiteral("EN")};

// A small language file per language: the captions above and the page's messages,
// each message tagged with its language.
QByteArray languageFile(int language)
{
    QString text;
    for (const CaptionLine& line : captionLines)
        text += QString::fromUtf8(line.key) + u'/' + QString::fromUtf8(line.text[language]) + QStringLiteral("\r\n");
    for (int n : {64, 65, 66, 69, 70, 71, 72, 116, 129, 130, 131, 132, 133, 134, 136, 139, 142, 143, 144, 250})
        text += QStringLiteral("%1/%2 message %1\r\n").arg(n).arg(tags[language]);
    return text.toUtf8();
}

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class SettingsPageTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<AppContext> m_context;
    std::unique_ptr<test::TestPageHost> m_host;
    std::unique_ptr<SettingsPage> m_page;

    template <typename T>
    T* child(const char* name)
    {
        T* w = m_page->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void click(const char* name) { child<QPushButton>(name)->click(); }
    Grid* grid() { return m_page->gridP(); }
    QStringList gridNames()
    {
        QStringList out;
        for (int r = 1; r < grid()->rows(); ++r)
            out << grid()->cellText(r, 1);
        return out;
    }
    QStringList tableNames()
    {
        Database db;
        db.open(m_context->databasePath());
        QStringList out;
        for (const OperatorRecord& op : loadOperators(db))
            out << op.name;
        return out;
    }
    void selectRows(int first, int last)
    {
        QTableView* view = grid()->view();
        QAbstractItemModel* model = view->model();
        view->selectionModel()->setCurrentIndex(model->index(last - 1, 0), QItemSelectionModel::NoUpdate);
        view->selectionModel()->select(
            QItemSelection(model->index(std::min(first, last) - 1, 0), model->index(std::max(first, last) - 1, 2)),
            QItemSelectionModel::ClearAndSelect);
        emit grid()->clicked(); // as a click on the list does: enables cmdDelU again
    }
    void seedOperators(const QList<std::pair<QString, bool>>& operators)
    {
        Database db;
        QVERIFY(db.open(m_context->databasePath()));
        for (const auto& [name, admin] : operators)
            QVERIFY(addOperator(db, {name, hashPassword(QStringLiteral("pw")), admin, QStringLiteral("m")}));
    }
    void writeSettings(const QByteArray& bytes)
    {
        QFile f(m_context->settingsPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        const QString program = m_dir->filePath(QStringLiteral("program"));
        QDir().mkpath(program + QStringLiteral("/Data"));
        QDir().mkpath(program + QStringLiteral("/res"));
        for (int language = 0; language < 3; ++language) {
            QFile f(program + QStringLiteral("/res/") + LanguageTable::fileName(language));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(languageFile(language));
        }
        m_dialogs.reset(new ScriptedDialogs);
        m_context.reset(new AppContext(program, *m_dialogs));
        m_context->userDataFolder = m_dir->filePath(QStringLiteral("user"));
        m_context->settings = {2, 9600, 0};
        m_context->portNumber = 2;
        m_context->baudText = QStringLiteral("9600");
        m_context->serialSettings = QStringLiteral("9600,n,8,1");
        m_context->signedIn = {QStringLiteral("me"), true};
        QVERIFY(m_context->loadLanguage());
        {
            Database db;
            QVERIFY(db.create(m_context->databasePath()));
            QVERIFY(createProgramTables(db));
        }
        writeSettings(AppSettings{2, 9600, 0}.toBytes());
        m_host = std::make_unique<test::TestPageHost>(*m_context);
        m_page.reset(new SettingsPage(*m_host));
        m_page->resize(1280, 658);
        m_page->showSettings();
    }

    void showsTheSettings()
    {
        QCOMPARE(child<QComboBox>("CmbC")->currentText(), QStringLiteral("COM2"));
        QCOMPARE(child<QComboBox>("CmbS")->currentText(), QStringLiteral("9600"));
        QCOMPARE(child<QComboBox>("CmbLag")->currentIndex(), 0);
        QCOMPARE(grid()->headerText(0), QStringLiteral("序号"));
        QCOMPARE(grid()->headerText(3), QStringLiteral("备注信息"));
        QCOMPARE(grid()->columnWidth(3), 500);
    }

    void applySerialSettings()
    {
        QSignalSpy applied(m_page.get(), &SettingsPage::serialSettingsApplied);
        child<QComboBox>("CmbC")->setCurrentIndex(2);
        child<QComboBox>("CmbS")->setEditText(QStringLiteral("19200"));
        click("cmdApply");
        QCOMPARE(fileBytes(m_context->settingsPath()), QByteArray::fromHex("03004b000000"));
        QCOMPARE(m_context->serialSettings, QStringLiteral("19200,n,8,1"));
        QCOMPARE(m_context->settings.port, 3);
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied[0][0].toBool(), true);

        child<QComboBox>("CmbS")->setEditText(QStringLiteral(" 38400 "));
        click("cmdApply");
        QCOMPARE(readSettingsFile(m_context->settingsPath()).baudRate, 38400);
        QCOMPARE(m_context->serialSettings, QStringLiteral("38400,n,8,1"));

        // No number: the file and the line settings stay, the new port is kept in memory.
        const QByteArray before = fileBytes(m_context->settingsPath());
        child<QComboBox>("CmbC")->setCurrentIndex(4);
        child<QComboBox>("CmbS")->setEditText(QStringLiteral("abc"));
        click("cmdApply");
        QCOMPARE(fileBytes(m_context->settingsPath()), before);
        QCOMPARE(m_context->serialSettings, QStringLiteral("38400,n,8,1"));
        QCOMPARE(m_context->settings.port, 5);
        QCOMPARE(applied.size(), 3);
        QCOMPARE(applied[2][0].toBool(), false);
    }

    // A device found by name follows COM8. Choosing it keeps AppSet.dat at 6 bytes with
    // port 255 and puts the name beside it; the port opens it, and the page still shows it
    // while it is unplugged.
    void serialDeviceByName()
    {
        int master = -1, slave = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        const QString device = QString::fromLocal8Bit(name);
        SerialPort::setDeviceLister([device] { return QStringList{device}; });
        m_page->hide();
        m_page->show();
        auto* cmbC = child<QComboBox>("CmbC");
        QCOMPARE(cmbC->count(), 9);
        QCOMPARE(cmbC->itemText(8), device);
        cmbC->setCurrentIndex(8);
        click("cmdApply");
        QCOMPARE(fileBytes(m_context->settingsPath()), (AppSettings{255, 9600, 0}.toBytes()));
        QCOMPARE(fileBytes(m_context->deviceNamePath()), device.toUtf8() + '\n');
        SerialPort port;
        port.setDeviceName(m_context->deviceName);
        QVERIFY2(openDevicePort(port, m_context->settings.port, m_context->serialSettings),
                 qPrintable(port.errorString()));
        QCOMPARE(port.devicePath(), device);
        port.close();

        SerialPort::setDeviceLister([] { return QStringList{}; });
        cmbC->setCurrentIndex(0);
        m_page->showSettings();
        QCOMPARE(cmbC->currentText(), device);
        SerialPort::setDeviceLister({});
        ::close(master);
    }

    void switchLanguages()
    {
        seedOperators({{QStringLiteral("me"), true}, {QStringLiteral("bob"), false}});
        m_page->OperatorList();
        QSignalSpy applied(m_page.get(), &SettingsPage::languageApplied);
        auto* lag = child<QComboBox>("CmbLag");
        for (int language : {1, 0, 2, 0}) {
            lag->setCurrentIndex(language);
            click("btnlag");
            const AppSettings expected{2, 9600, quint8(language)};
            QCOMPARE(fileBytes(m_context->settingsPath()), expected.toBytes());
            QCOMPARE(m_context->message(131), tags[language] + QStringLiteral(" message 131"));
            for (const char* name : {"Frame70", "Frame73", "Label7", "Label75"})
                QCOMPARE(k27::caption(child<QWidget>(name)), captionText(name, language));
            for (const char* name : {"cmdAddU", "btnlag", "OptR0"})
                QCOMPARE(child<QAbstractButton>(name)->text(), captionText(name, language));
            QCOMPARE(grid()->headerText(1), captionText("92", language));
            // The rights column is in the new language, so loading a row still finds administrators.
            QCOMPARE(grid()->cellText(1, 2), captionText("62", language));
            grid()->selectRow(1);
            emit grid()->doubleClicked();
            QVERIFY(child<QRadioButton>("OptR0")->isChecked());
        }
        QCOMPARE(applied.size(), 4);

        // A missing language file leaves the table, the language field and the file as they were.
        QVERIFY(QFile::remove(m_context->languagePath(1)));
        const QByteArray before = fileBytes(m_context->settingsPath());
        lag->setCurrentIndex(1);
        click("btnlag");
        QCOMPARE(fileBytes(m_context->settingsPath()), before);
        QCOMPARE(int(m_context->settings.language), 0);
        QCOMPARE(m_context->message(131), QStringLiteral("简 message 131"));
        QCOMPARE(applied.size(), 4);
    }

    void addChangeAndModes()
    {
        seedOperators({{QStringLiteral("me"), true}});
        m_page->OperatorList();
        child<QLineEdit>("TxtN")->setText(QStringLiteral("O'Neil"));
        child<QLineEdit>("TxtP1")->setText(QStringLiteral("x"));
        child<QLineEdit>("TxtP2")->setText(QStringLiteral("y"));
        click("cmdAddU");
        QCOMPARE(m_dialogs->messageTexts(), QStringList{QStringLiteral("简 message 65")});
        child<QLineEdit>("TxtP2")->setText(QStringLiteral("x"));
        child<QLineEdit>("Txtmark")->setText(QStringLiteral(" note "));
        click("cmdAddU");
        QCOMPARE(gridNames(), (QStringList{QStringLiteral("me"), QStringLiteral("O'Neil")}));
        QCOMPARE(grid()->cellText(2, 2), QStringLiteral("普通用户"));
        QCOMPARE(grid()->cellText(2, 3), QStringLiteral("note"));
        click("cmdAddU");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 66"));
        QCOMPARE(m_dialogs->calls.last().icon, Dialogs::Icon::Error);
        QCOMPARE(tableNames(), gridNames());

        // Load the new row for a change: name and passwords locked, rights read back.
        QSignalSpy loaded(m_page.get(), &SettingsPage::operatorLoadedForChange);
        child<QLineEdit>("TxtN")->clear();
        grid()->selectRow(2);
        emit grid()->doubleClicked();
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(child<QLineEdit>("TxtN")->text(), QStringLiteral("O'Neil"));
        QVERIFY(child<QRadioButton>("OptR1")->isChecked());
        for (const char* name : {"TxtN", "TxtP1", "TxtP2", "Label7", "Label8", "cmdAddU"})
            QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
        QVERIFY(child<QPushButton>("cmdUpU")->isEnabled());

        child<QRadioButton>("OptR0")->setChecked(true);
        child<QLineEdit>("Txtmark")->setText(QStringLiteral("chief"));
        click("cmdUpU");
        QCOMPARE(grid()->cellText(2, 2), QStringLiteral("管理员用户"));
        QCOMPARE(grid()->cellText(2, 3), QStringLiteral("chief"));
        {
            Database db;
            QVERIFY(db.open(m_context->databasePath()));
            const auto op = findOperator(db, QStringLiteral("O'Neil"));
            QVERIFY(op && op->administrator);
            QVERIFY(verifyPassword(op->password, QStringLiteral("x")));
        }
        for (const char* name : {"TxtN", "TxtP1", "TxtP2", "Label7", "Label8", "cmdAddU"})
            QVERIFY2(child<QWidget>(name)->isEnabled(), name);
        QVERIFY(!child<QPushButton>("cmdUpU")->isEnabled());
    }

    void ordinaryOperatorGetsNoButtons()
    {
        m_context->signedIn.isAdministrator = false;
        seedOperators({{QStringLiteral("me"), false}, {QStringLiteral("bob"), true}});
        m_page->OperatorList();
        m_page->applyRights();
        for (const char* name : {"cmdAddU", "cmdUpU", "cmdDelU", "cmdApply"})
            QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
        QVERIFY(child<QWidget>("btnlag")->isEnabled());
        QVERIFY(child<QWidget>("btnbak")->isEnabled());
        grid()->selectRow(2);
        emit grid()->clicked();
        emit grid()->doubleClicked();
        QVERIFY(child<QRadioButton>("OptR0")->isChecked());
        for (const char* name : {"cmdAddU", "cmdUpU", "cmdDelU"})
            QVERIFY2(!child<QWidget>(name)->isEnabled(), name);
    }

    // The register frame: kept for the folder beside AppSet.dat (unchanged), from the next
    // start; "test connection" says why a server cannot be used.
    void registerChoiceKeptForTheFolder()
    {
        const QByteArray settings = fileBytes(m_context->settingsPath());
        QVERIFY(child<QRadioButton>("OptReg0")->isChecked());
        QVERIFY(!child<QWidget>("TxtHost")->isEnabled());
        child<QRadioButton>("OptReg1")->setChecked(true);
        QVERIFY(child<QWidget>("TxtHost")->isEnabled());
        QVERIFY(!child<QWidget>("btnCa")->isEnabled());
        child<QComboBox>("CmbTls")->setCurrentText(QStringLiteral("verify-full"));
        m_dialogs->fileAnswers = {QStringLiteral("/etc/k27/ca.crt")};
        click("btnCa");
        QCOMPARE(child<QLineEdit>("TxtCa")->text(), QStringLiteral("/etc/k27/ca.crt"));

        QTemporaryDir nowhere; // a socket folder where no server listens
        const RegisterChoice wanted{true,
                                    nowhere.path(),
                                    QStringLiteral("1"),
                                    QStringLiteral("k27"),
                                    QStringLiteral("desk"),
                                    QStringLiteral("disable"),
                                    QStringLiteral("/etc/k27/ca.crt")};
        child<QLineEdit>("TxtHost")->setText(wanted.host);
        child<QLineEdit>("TxtPort")->setText(wanted.port);
        child<QLineEdit>("TxtDb")->setText(wanted.database);
        child<QLineEdit>("TxtUser")->setText(wanted.user);
        child<QComboBox>("CmbTls")->setCurrentText(wanted.tls);
        click("btnTest");
        QCOMPARE(m_dialogs->calls.size(), 2);
        QVERIFY(m_dialogs->calls[1].text.startsWith(m_context->message(Msg::ServerUnreachable) + u'\n'));

        click("btnReg");
        QCOMPARE(m_dialogs->calls.last().text, child<QLabel>("LblReg")->text());
        QCOMPARE(readRegisterChoice(registerChoicePath(m_context->programFolder())), wanted);
        QCOMPARE(fileBytes(m_context->settingsPath()), settings);
        QVERIFY(!m_context->onServer()); // this run keeps its register

        m_context->signedIn.isAdministrator = false;
        m_page->applyRights();
        QVERIFY(!child<QWidget>("btnReg")->isEnabled());
    }

    void deleteSelections()
    {
        seedOperators({{"a", false},
                       {"b", false},
                       {"c", false},
                       {"d", false},
                       {"me", true},
                       {"e", false},
                       {"twin", false},
                       {"f", false},
                       {"twin", false}});
        m_page->OperatorList();

        // Nothing selected.
        click("cmdDelU");
        QCOMPARE(m_dialogs->messageTexts(), QStringList{QStringLiteral("简 message 69")});

        // Three rows dragged upwards, answered No, then Yes.
        selectRows(4, 2);
        click("cmdDelU");
        QCOMPARE(tableNames().size(), 9);
        // Enter must not delete: the question defaults to No and says how many go.
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 70\n简 message 143") + "3");
        QVERIFY(m_dialogs->calls.last().defaultNo);
        m_dialogs->questionAnswers = {true};
        click("cmdDelU");
        QCOMPARE(tableNames(), (QStringList{"a", "me", "e", "twin", "f", "twin"}));
        QCOMPARE(gridNames(), tableNames());
        QVERIFY(!child<QPushButton>("cmdDelU")->isEnabled());

        // The signed-in operator in the middle of the selection.
        m_dialogs->clear();
        m_dialogs->questionAnswers = {true};
        selectRows(1, 3);
        click("cmdDelU");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 129"));
        QCOMPARE(m_dialogs->calls.last().icon, Dialogs::Icon::Error);
        QCOMPARE(tableNames(), (QStringList{"me", "e", "twin", "f", "twin"}));
        QCOMPARE(gridNames(), tableNames());

        // Deleting one twin deletes both; the other row leaves the list as well.
        m_dialogs->questionAnswers = {true};
        selectRows(3, 3);
        click("cmdDelU");
        QCOMPARE(m_dialogs->calls.last().text,
                 QStringLiteral("简 message 70\n简 message 143") + "1\n" + QStringLiteral("简 message 144twin"));
        QCOMPARE(tableNames(), (QStringList{"me", "e", "f"}));
        QCOMPARE(gridNames(), tableNames());

        // The list without operators.
        m_page->gridP()->setRows(1);
        emit grid()->clicked();
        m_dialogs->clear();
        click("cmdDelU");
        QCOMPARE(m_dialogs->messageTexts(), QStringList{QStringLiteral("简 message 116")});
    }

    void backupAndRestore()
    {
        seedOperators({{QStringLiteral("me"), true}});
        m_page->OperatorList();
        QSignalSpy restored(m_page.get(), &SettingsPage::databaseRestored);

        // No backup folder yet.
        click("dcButton2");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 134"));
        QCOMPARE(restored.size(), 0);

        click("btnbak");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 131"));
        QCOMPARE(m_dialogs->calls.last().icon, Dialogs::Icon::Information);
        QVERIFY(isSoundProgramDatabase(manualBackupPath(m_context->userDataFolder)));
        QVERIFY(child<QLabel>("Lblinfo")->text().isEmpty());

        seedOperators({{QStringLiteral("later"), false}});
        m_page->OperatorList();
        click("dcButton2");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 133"));
        QCOMPARE(restored.size(), 1);
        QCOMPARE(tableNames(), QStringList{QStringLiteral("me")});
        QCOMPARE(gridNames(), tableNames());

        // A damaged backup is refused and the live database stays as it is.
        {
            QFile f(manualBackupPath(m_context->userDataFolder));
            QVERIFY(f.open(QIODevice::ReadWrite));
            f.seek(2000);
            f.write(QByteArray(100, '\x55'));
        }
        seedOperators({{QStringLiteral("kept"), false}});
        const QByteArray live = fileBytes(m_context->databasePath());
        click("dcButton2");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 136"));
        QCOMPARE(m_dialogs->calls.last().icon, Dialogs::Icon::Error);
        QCOMPARE(restored.size(), 1);
        QCOMPARE(fileBytes(m_context->databasePath()), live);

        // A backup that cannot be written is not reported as made.
        QVERIFY(QFile::remove(m_context->databasePath()));
        click("btnbak");
        QCOMPARE(m_dialogs->calls.last().text, QStringLiteral("简 message 139"));
        QCOMPARE(m_dialogs->calls.last().icon, Dialogs::Icon::Error);
    }

    // Pictures of the page in the three languages when K27_SETTINGS_SHOTS names a folder.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("K27_SETTINGS_SHOTS");
        if (folder.isEmpty())
            QSKIP("K27_SETTINGS_SHOTS not set");
        // The program's language files, with the caption lines of the page's frames and labels.
        const QString source = qEnvironmentVariable("K27_SOURCE_DIR");
        if (!source.isEmpty())
            for (int language = 0; language < 3; ++language) {
                QByteArray text = fileBytes(source + QStringLiteral("/res/") + LanguageTable::fileName(language));
                QVERIFY(!text.isEmpty());
                for (const CaptionLine& line : captionLines)
                    if (!text.contains("\n" + QByteArray(line.key) + '/'))
                        text += QByteArray(line.key) + '/' + QByteArray(line.text[language]) + "\r\n";
                QFile f(m_context->languagePath(language));
                QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
                f.write(text);
            }
        QVERIFY(m_context->loadLanguage());
        seedOperators(
            {{QStringLiteral("me"), true}, {QStringLiteral("张三"), false}, {QStringLiteral("O'Neil"), true}});
        m_page->OperatorList();
        m_page->show();
        QDir().mkpath(folder);
        for (int language : {0, 1, 2}) {
            child<QComboBox>("CmbLag")->setCurrentIndex(language);
            click("btnlag");
            QTest::qWait(50);
            QVERIFY(m_page->grab().save(folder + QStringLiteral("/settings-%1.png").arg(language)));
        }
    }
};

QTEST_MAIN(SettingsPageTest)
#include "SettingsPageTest.moc"
