// The controls of the system settings page and their arrangement. The design captions
// are Simplified Chinese; the language table replaces them at run time.

#include "SettingsPage.h"

#include "platform/FormControls.h"
#include "platform/Grid.h"
#include "startup/RegisterChoice.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace k27 {

namespace {

template <typename T>
T* named(QWidget* parent, const char* name, const QString& caption = {})
{
    auto* w = new T(parent);
    w->setObjectName(QLatin1String(name));
    if constexpr (std::is_base_of_v<QGroupBox, T>)
        w->setTitle(caption);
    else if constexpr (std::is_base_of_v<QLabel, T> || std::is_base_of_v<QAbstractButton, T>)
        w->setText(caption);
    return w;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, QWidget* buddy)
{
    auto* l = named<QLabel>(parent, name, caption);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setBuddy(buddy);
    return l;
}

} // namespace

void SettingsPage::buildLayout()
{
    buildBackupFrame();
    buildUsersFrame();
    buildSerialFrame();
    buildLanguageFrame();
    buildRegisterFrame();

    auto* left = new QVBoxLayout;
    left->addWidget(m_frameBackup);
    left->addWidget(m_frameSerial);
    left->addWidget(m_frameLanguage);
    left->addWidget(m_frameRegister);
    left->addStretch();
    auto* page = new QHBoxLayout(this);
    page->addLayout(left, 0);
    page->addWidget(m_frameUsers, 1);
    m_frameBackup->setMinimumWidth(300);

    // Reading order: the left column frame by frame, then the operator frame row by row.
    form::tabChain({m_btnbak,  m_dcButton2, m_cmbC,    m_cmbS,    m_cmdApply, m_cmbLag,  m_btnlag,
                    m_optReg0, m_optReg1,   m_txtHost, m_txtPort, m_txtDb,    m_txtUser, m_cmbTls,
                    m_txtCa,   m_btnCa,     m_btnTest, m_btnReg,  m_txtN,     m_optR0,   m_optR1,
                    m_txtP1,   m_txtmark,   m_txtP2,   m_cmdAddU, m_cmdUpU,   m_cmdDelU, m_gridP});
}

// Database backup and restore.
void SettingsPage::buildBackupFrame()
{
    m_frameBackup = named<QGroupBox>(this, "Frame70", QStringLiteral("数据库备份/恢复"));
    m_btnbak = named<QPushButton>(m_frameBackup, "btnbak", QStringLiteral("备份数据库"));
    m_dcButton2 = named<QPushButton>(m_frameBackup, "dcButton2", QStringLiteral("恢复数据库"));
    m_lblinfo = named<QLabel>(m_frameBackup, "Lblinfo");
    m_lblinfo->setWordWrap(true);
    m_lblinfo->setMinimumHeight(m_lblinfo->fontMetrics().height() * 2);
    {
        auto* box = new QVBoxLayout(m_frameBackup);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        buttons->addWidget(m_btnbak);
        buttons->addWidget(m_dcButton2);
        box->addLayout(buttons);
        box->addWidget(m_lblinfo);
    }
}

// Operator accounts.
void SettingsPage::buildUsersFrame()
{
    m_frameUsers = named<QGroupBox>(this, "Frame71", QStringLiteral("用户设置"));
    m_txtN = named<QLineEdit>(m_frameUsers, "TxtN");
    m_txtP1 = named<QLineEdit>(m_frameUsers, "TxtP1");
    m_txtP2 = named<QLineEdit>(m_frameUsers, "TxtP2");
    m_txtP1->setEchoMode(QLineEdit::Password);
    m_txtP2->setEchoMode(QLineEdit::Password);
    m_txtmark = named<QLineEdit>(m_frameUsers, "Txtmark");
    m_optR0 = named<QRadioButton>(m_frameUsers, "OptR0", QStringLiteral("管理员用户"));
    m_optR1 = named<QRadioButton>(m_frameUsers, "OptR1", QStringLiteral("普通用户"));
    m_rights = new QButtonGroup(this);
    m_rights->addButton(m_optR0);
    m_rights->addButton(m_optR1);
    m_optR1->setChecked(true);
    m_cmdAddU = named<QPushButton>(m_frameUsers, "cmdAddU", QStringLiteral("添加"));
    m_cmdUpU = named<QPushButton>(m_frameUsers, "cmdUpU", QStringLiteral("修改"));
    m_cmdDelU = named<QPushButton>(m_frameUsers, "cmdDelU", QStringLiteral("删除"));
    m_gridP = named<Grid>(m_frameUsers, "GridP");
    m_gridP->setReadOnly(true);
    m_gridP->setEnterOpensRow(true);
    m_gridP->view()->setSelectionBehavior(QAbstractItemView::SelectRows);
    {
        auto* box = new QVBoxLayout(m_frameUsers);
        auto* form = new QGridLayout;
        form->addWidget(label(m_frameUsers, "Label70", QStringLiteral("用户名："), m_txtN), 0, 0);
        form->addWidget(m_txtN, 0, 1);
        m_label7 = label(m_frameUsers, "Label7", QStringLiteral("密码："), m_txtP1);
        form->addWidget(m_label7, 1, 0);
        form->addWidget(m_txtP1, 1, 1);
        m_label8 = label(m_frameUsers, "Label8", QStringLiteral("确认密码："), m_txtP2);
        form->addWidget(m_label8, 2, 0);
        form->addWidget(m_txtP2, 2, 1);

        form->addWidget(label(m_frameUsers, "Label71", QStringLiteral("用户权限："), m_optR0), 0, 2);
        auto* rights = new QHBoxLayout;
        rights->addWidget(m_optR0);
        rights->addWidget(m_optR1);
        rights->addStretch();
        form->addLayout(rights, 0, 3);
        form->addWidget(label(m_frameUsers, "Label72", QStringLiteral("备注信息："), m_txtmark), 1, 2);
        form->addWidget(m_txtmark, 1, 3);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        buttons->addWidget(m_cmdAddU);
        buttons->addWidget(m_cmdUpU);
        buttons->addWidget(m_cmdDelU);
        buttons->addStretch();
        form->addLayout(buttons, 2, 3);
        form->setColumnStretch(1, 1);
        form->setColumnStretch(3, 2);
        form->setHorizontalSpacing(8);
        box->addLayout(form);
        box->addWidget(m_gridP, 1);
    }
}

// Serial line of the card-issuing device.
void SettingsPage::buildSerialFrame()
{
    m_frameSerial = named<QGroupBox>(this, "Frame72", QStringLiteral("通讯设置"));
    m_cmbC = named<QComboBox>(m_frameSerial, "CmbC");
    for (int port = 1; port <= 8; ++port)
        m_cmbC->addItem(QStringLiteral("COM%1").arg(port));
    m_cmbS = named<QComboBox>(m_frameSerial, "CmbS");
    m_cmbS->setEditable(true);
    m_cmbS->setInsertPolicy(QComboBox::NoInsert);
    m_cmbS->addItems({QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"),
                      QStringLiteral("115200"), QStringLiteral("256000")});
    m_cmdApply = named<QPushButton>(m_frameSerial, "cmdApply", QStringLiteral("应用"));
    {
        auto* form = new QGridLayout(m_frameSerial);
        form->addWidget(label(m_frameSerial, "Label73", QStringLiteral("串口："), m_cmbC), 0, 0);
        form->addWidget(m_cmbC, 0, 1);
        form->addWidget(label(m_frameSerial, "Label74", QStringLiteral("波特率："), m_cmbS), 1, 0);
        form->addWidget(m_cmbS, 1, 1);
        form->addWidget(m_cmdApply, 2, 1);
        form->setColumnStretch(1, 1);
    }
}

// Language of the user interface.
void SettingsPage::buildLanguageFrame()
{
    m_frameLanguage = named<QGroupBox>(this, "Frame73", QStringLiteral("界面设置"));
    m_cmbLag = named<QComboBox>(m_frameLanguage, "CmbLag");
    m_cmbLag->addItems({QStringLiteral("简体中文"), QStringLiteral("繁體中文"), QStringLiteral("English")});
    m_btnlag = named<QPushButton>(m_frameLanguage, "btnlag", QStringLiteral("应用"));
    {
        auto* form = new QGridLayout(m_frameLanguage);
        form->addWidget(label(m_frameLanguage, "Label75", QStringLiteral("界面语言："), m_cmbLag), 0, 0);
        form->addWidget(m_cmbLag, 0, 1);
        form->addWidget(m_btnlag, 1, 1);
        form->setColumnStretch(1, 1);
    }
}

// Where the register is: this computer's encrypted file or a shared server (from the next start).
void SettingsPage::buildRegisterFrame()
{
    m_frameRegister = named<QGroupBox>(this, "Frame74", QStringLiteral("数据库位置"));
    QWidget* f = m_frameRegister;
    m_optReg0 = named<QRadioButton>(f, "OptReg0", QStringLiteral("本机"));
    m_optReg1 = named<QRadioButton>(f, "OptReg1", QStringLiteral("共享服务器"));
    auto* where = new QButtonGroup(this);
    where->addButton(m_optReg0);
    where->addButton(m_optReg1);
    m_optReg0->setChecked(true);
    m_txtHost = named<QLineEdit>(f, "TxtHost");
    m_txtPort = named<QLineEdit>(f, "TxtPort");
    m_txtPort->setPlaceholderText(QStringLiteral("5432"));
    m_txtPort->setMaxLength(5);
    m_txtDb = named<QLineEdit>(f, "TxtDb");
    m_txtUser = named<QLineEdit>(f, "TxtUser");
    m_cmbTls = named<QComboBox>(f, "CmbTls");
    m_cmbTls->addItems(RegisterChoice::tlsModes()); // libpq's own words
    m_txtCa = named<QLineEdit>(f, "TxtCa");
    m_btnCa = named<QPushButton>(f, "btnCa", QStringLiteral("..."));
    m_btnCa->setFixedWidth(m_btnCa->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    m_btnTest = named<QPushButton>(f, "btnTest", QStringLiteral("测试连接"));
    m_btnReg = named<QPushButton>(f, "btnReg", QStringLiteral("应用"));
    m_lblReg = named<QLabel>(f, "LblReg", QStringLiteral("下次启动时生效。"));
    m_lblReg->setWordWrap(true);
    {
        auto* form = new QGridLayout(f);
        auto* choice = new QHBoxLayout;
        choice->addWidget(m_optReg0);
        choice->addWidget(m_optReg1);
        choice->addStretch();
        form->addLayout(choice, 0, 0, 1, 4);
        form->addWidget(label(f, "Label76", QStringLiteral("主机："), m_txtHost), 1, 0);
        form->addWidget(m_txtHost, 1, 1);
        form->addWidget(label(f, "Label77", QStringLiteral("端口："), m_txtPort), 1, 2);
        form->addWidget(m_txtPort, 1, 3);
        form->addWidget(label(f, "Label78", QStringLiteral("数据库："), m_txtDb), 2, 0);
        form->addWidget(m_txtDb, 2, 1);
        form->addWidget(label(f, "Label79", QStringLiteral("用户："), m_txtUser), 2, 2);
        form->addWidget(m_txtUser, 2, 3);
        form->addWidget(label(f, "Label80", QStringLiteral("TLS："), m_cmbTls), 3, 0);
        form->addWidget(m_cmbTls, 3, 1);
        form->addWidget(label(f, "Label81", QStringLiteral("CA证书："), m_txtCa), 4, 0);
        auto* ca = new QHBoxLayout;
        ca->addWidget(m_txtCa, 1);
        ca->addWidget(m_btnCa);
        form->addLayout(ca, 4, 1, 1, 3);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        buttons->addWidget(m_btnTest);
        buttons->addWidget(m_btnReg);
        buttons->addStretch();
        form->addLayout(buttons, 5, 1, 1, 3);
        form->addWidget(m_lblReg, 6, 0, 1, 4);
        form->setColumnStretch(1, 3);
        form->setColumnStretch(3, 2);
    }
}

} // namespace k27
