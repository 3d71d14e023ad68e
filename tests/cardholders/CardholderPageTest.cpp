// The cardholder page inside the main window: the list's notifications, add, change,
// clear, delete, photos, export and print.

#include "MainWindowFixture.h"

#include "cardholders/CardholderPage.h"
#include "cardholders/PhotoPath.h"
#include "issuing/IssuingPage.h"
#include "mainwin/Frmmain.h"
#include "pagehost/ProgressPanel.h"
#include "platform/Grid.h"

#include <QComboBox>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace k27;
using namespace k27::test;

namespace {

using Kind = ScriptedDialogs::Kind;
using Icon = Dialogs::Icon;

struct Holder
{
    QString name, gender, department, position, address, phone, card, terminals, validity;
};

void store(const QString& databasePath, const QList<Holder>& holders)
{
    Database db;
    QVERIFY(db.open(databasePath));
    for (const Holder& h : holders)
        QVERIFY(db.exec(
            QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                           " values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {h.name, h.gender, h.department, h.position, h.address, h.phone, h.card,
             h.terminals.isNull() ? QVariant() : QVariant(h.terminals), h.validity}));
}

QList<QStringList> storedRows(const QString& databasePath)
{
    Database db;
    if (!db.open(databasePath))
        return {};
    QList<QStringList> rows;
    db.query(QStringLiteral(
                 "select 姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限 from 用户信息 order by ID"),
             {}, [&](const Row& r) {
                 QStringList row;
                 for (int c = 0; c < 9; ++c)
                     row << r.text(c);
                 rows << row;
                 return true;
             });
    return rows;
}

// Rows from..to selected, the current cell at `current` (from or to).
void selectRows(Grid* grid, int from, int to, int current)
{
    QTableView* view = grid->view();
    QAbstractItemModel* model = view->model();
    view->selectionModel()->setCurrentIndex(model->index(current - 1, 0), QItemSelectionModel::NoUpdate);
    view->selectionModel()->select(
        QItemSelection(model->index(from - 1, 0), model->index(to - 1, model->columnCount() - 1)),
        QItemSelectionModel::ClearAndSelect);
}

void savePicture(const QString& file, Qt::GlobalColor color)
{
    QImage image(30, 40, QImage::Format_RGB32);
    image.fill(color);
    QVERIFY(image.save(file, "JPEG"));
}

QList<QStringList> readCsv(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            row << field;
            field.clear();
            rows << row;
            row.clear();
        } else {
            field += c;
        }
    }
    if (!row.isEmpty() || !field.isEmpty())
        rows << (row << field);
    return rows;
}

QString imagePath(const MainWindowFixture& fx, const QString& name, const QString& phone)
{
    return PhotoPath(fx.context->imageFolder(), name, phone);
}

// A holder with only a name and a phone, as most cases need.
Holder plain(const QString& name, const QString& phone, const QString& gender = QStringLiteral("男"))
{
    return {name, gender, {}, {}, {}, phone, {}, {}, {}};
}

// The main window over a register of `holders`, and its cardholder page.
struct CardholderWindow : MainWindowFixture
{
    explicit CardholderWindow(const QList<Holder>& holders = {}, int language = 0, bool administrator = true)
        : MainWindowFixture(language, administrator), w(withHolders(holders))
    {
    }

    AppContext& withHolders(const QList<Holder>& holders)
    {
        store(databasePath(), holders);
        return *context;
    }

    Frmmain w;
    CardholderPage* page = w.cardholderPage();
};

const QString Permanent = QStringLiteral("永久有效");

} // namespace

class CardholderPageTest : public QObject
{
    Q_OBJECT

private slots:
    void searchFieldsStopAtFiftyCharacters();
    void dropDownsPairTerminalAndValidity();
    void doubleClickLoadsTheCardholder();
    void clickAndTwoArgumentNotificationSetTheButtons();
    void addWithEmptyFieldsUsesTheAutomaticName();
    void addRefusesDuplicatesAndTrimsTheName();
    void changeChecksFieldsAndKey();
    void deleteSelectedRowsWithTheirPhotos();
    void deleteChecksRowsAndSelection();
    void deleteKeepsItsRowsWhenTheSearchChanges();
    void exportWritesTheListedRowsWithCompletePermissions();
    void exportReportsFailureAndCancel();
    void printHasTheListTitleInLandscape();
    void photoChoiceOffersThreeKindsInAnyCase();
};

void CardholderPageTest::dropDownsPairTerminalAndValidity()
{
    CardholderWindow fx(
        {{QStringLiteral("张三 "),
          QStringLiteral("男"),
          {},
          {},
          {},
          QStringLiteral("1"),
          QStringLiteral("0000000001"),
          QStringLiteral("5、17、"),
          QStringLiteral("A、B、")},
         {QStringLiteral("李四 "), QStringLiteral("男"), {}, {}, {}, QStringLiteral("2"), {}, QStringLiteral(""), {}},
         {QStringLiteral("王五 "), QStringLiteral("男"), {}, {}, {}, QStringLiteral("3"), {}, QString(), {}},
         // A list cut at a NUL character, as a card writer may leave it.
         {QStringLiteral("赵六 "),
          QStringLiteral("男"),
          {},
          {},
          {},
          QStringLiteral("4"),
          QStringLiteral("0000000002"),
          QStringLiteral("9、") + QChar(u'\0') + QStringLiteral("33、"),
          Permanent + QStringLiteral("、")}});
    CardholderPage* page = fx.page;
    Grid* grid = page->GridU;
    QCOMPARE(grid->rows(), 5);
    // Without card first (李四, 王五), then with card (张三, 赵六), each by name.
    const auto rowOf = [&](const QString& name) {
        for (int r = 1; r < grid->rows(); ++r)
            if (grid->cellText(r, 1).trimmed() == name)
                return r;
        return 0;
    };
    const int zhang = rowOf(QStringLiteral("张三"));
    QCOMPARE(grid->cellText(zhang, 8), QStringLiteral("5"));
    QCOMPARE(grid->cellText(zhang, 9), QStringLiteral("A"));
    QCOMPARE(grid->cellText(rowOf(QStringLiteral("李四")), 8), QStringLiteral("      "));
    QCOMPARE(grid->cellText(rowOf(QStringLiteral("李四")), 9), QString());
    QCOMPARE(grid->cellText(rowOf(QStringLiteral("王五")), 8), QString());

    grid->setCurrentCell(zhang, 8);
    page->GridU_Click();
    QCOMPARE(grid->dropDownList(8), (QStringList{QStringLiteral("5"), QStringLiteral("17")}));
    QCOMPARE(page->holderValidity(), (QStringList{QStringLiteral("A"), QStringLiteral("B"), QString()}));
    grid->setCellText(zhang, 8, QStringLiteral("17"));
    page->GridU_DropDownChosen(8);
    QCOMPARE(grid->cellText(zhang, 9), QStringLiteral("B"));
    grid->setCellText(zhang, 8, QStringLiteral("5"));
    page->GridU_DropDownChosen(8);
    QCOMPARE(grid->cellText(zhang, 9), QStringLiteral("A"));

    grid->setCurrentCell(zhang, 9);
    page->GridU_Click();
    QCOMPARE(grid->dropDownList(9), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    grid->setCellText(zhang, 9, QStringLiteral("B"));
    page->GridU_DropDownChosen(9);
    QCOMPARE(grid->cellText(zhang, 8), QStringLiteral("17"));
    // A text that is not offered changes nothing.
    grid->setCellText(zhang, 9, QStringLiteral("C"));
    page->GridU_DropDownChosen(9);
    QCOMPARE(grid->cellText(zhang, 8), QStringLiteral("17"));

    // The list after the NUL is not offered.
    const int zhao = rowOf(QStringLiteral("赵六"));
    grid->setCurrentCell(zhao, 8);
    page->GridU_Click();
    QCOMPARE(grid->dropDownList(8), QStringList{QStringLiteral("9")});
    QCOMPARE(page->holderTerminals(), (QStringList{QStringLiteral("9"), QString()}));

    // A click elsewhere selects the whole row.
    grid->setCurrentCell(zhang, 3);
    page->GridU_Click();
    QCOMPARE(grid->view()->selectionModel()->selectedIndexes().size(), grid->cols() - 1);
}

void CardholderPageTest::doubleClickLoadsTheCardholder()
{
    CardholderWindow fx({{QStringLiteral("A甲 "),
                          QStringLiteral("女"),
                          QStringLiteral("部门"),
                          QStringLiteral("职位"),
                          QStringLiteral("住址"),
                          QStringLiteral("11"),
                          {},
                          {},
                          {}},
                         plain(QStringLiteral("B乙 "), QStringLiteral("22"), QStringLiteral("man")),
                         plain(QStringLiteral("C丙 "), QStringLiteral("33"), QStringLiteral("其他"))});
    savePicture(imagePath(fx, QStringLiteral("A甲"), QStringLiteral("11")), Qt::red);
    CardholderPage* page = fx.page;
    Grid* grid = page->GridU;

    grid->selectRow(1);
    page->GridU_DblClick();
    QCOMPARE(page->TxtName->text(), QStringLiteral("A甲"));
    QCOMPARE(page->Combo1->currentIndex(), 1);
    QCOMPARE(page->TxtDp->text(), QStringLiteral("部门"));
    QCOMPARE(page->TxtJob->text(), QStringLiteral("职位"));
    QCOMPARE(page->txtAd->text(), QStringLiteral("住址"));
    QCOMPARE(page->txtTel->text(), QStringLiteral("11"));
    QCOMPARE(page->editKey(), (CardholderStore::Key{QStringLiteral("A甲"), QStringLiteral("11")}));
    QVERIFY(!page->photo().isNull());
    QVERIFY(page->BtnUpdate->isEnabled());
    QVERIFY(!page->btnInsert->isEnabled());

    // "man" is the first gender item; the missing photo clears the picture.
    grid->selectRow(2);
    page->GridU_DblClick();
    QCOMPARE(page->Combo1->currentIndex(), 0);
    QVERIFY(page->photo().isNull());
    QCOMPARE(page->Image1->text(), QStringLiteral("双击选择照片"));
    grid->selectRow(3);
    page->GridU_DblClick();
    QCOMPARE(page->Combo1->currentIndex(), 1);

    // btnCls empties the fields and the picture, nothing else.
    grid->selectRow(1);
    page->GridU_DblClick();
    page->btnCls->click();
    for (QLineEdit* e : {page->TxtName, page->TxtDp, page->TxtJob, page->txtAd, page->txtTel})
        QVERIFY(e->text().isEmpty());
    QVERIFY(page->photo().isNull());
    QCOMPARE(page->Combo1->currentIndex(), 1);
    QVERIFY(page->BtnUpdate->isEnabled());
    QCOMPARE(page->editKey().first, QStringLiteral("A甲"));

    // An ordinary operator gets the fields but never the change button.
    CardholderWindow clerk({plain(QStringLiteral("A甲 "), QStringLiteral("1"))}, 0, false);
    clerk.page->GridU->selectRow(1);
    clerk.page->GridU_DblClick();
    QCOMPARE(clerk.page->TxtName->text(), QStringLiteral("A甲"));
    QVERIFY(!clerk.page->BtnUpdate->isEnabled());
    clerk.page->GridU_Click();
    QVERIFY(!clerk.page->btnInsert->isEnabled());
}

void CardholderPageTest::clickAndTwoArgumentNotificationSetTheButtons()
{
    CardholderWindow fx(
        {plain(QStringLiteral("A "), QStringLiteral("1")), plain(QStringLiteral("B "), QStringLiteral("2"))});
    Frmmain& w = fx.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    CardholderPage* page = fx.page;
    QTableView* view = page->GridU->view();
    const QRect cell = view->visualRect(view->model()->index(0, 2));
    // The grid's own mouse handling: click, then double-click on the same cell.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(page->TxtName->text(), QStringLiteral("A"));
    QVERIFY(page->BtnUpdate->isEnabled());
    QVERIFY(!page->btnInsert->isEnabled());
    // Leaving the cell ends the change; a click brings the add button back.
    page->TxtName->setEnabled(false);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 2)).center());
    QVERIFY(!page->BtnUpdate->isEnabled());
    QVERIFY(page->TxtName->isEnabled());
    QVERIFY(page->btnInsert->isEnabled());
}

void CardholderPageTest::addWithEmptyFieldsUsesTheAutomaticName()
{
    CardholderWindow fx;
    CardholderPage* page = fx.page;
    QCOMPARE(page->autoName().NextAutoName(QDateTime(QDate(2024, 12, 6), QTime(11, 21, 5))),
             QStringLiteral("812061121051"));
    QImage png(20, 20, QImage::Format_ARGB32);
    png.fill(Qt::blue);
    page->setPhoto(png);
    page->btnInsert->click();
    const auto rows = storedRows(fx.databasePath());
    QCOMPARE(rows.size(), 1);
    const QString notFilled = QStringLiteral("未填写");
    QCOMPARE(rows[0], (QStringList{QStringLiteral("812061121052 "),
                                   QStringLiteral("男"),
                                   notFilled,
                                   notFilled,
                                   notFilled,
                                   notFilled,
                                   {},
                                   {},
                                   {}}));
    QFile photo(fx.folder.path() + QStringLiteral("/Data/img/812061121052未填写.JPG"));
    QVERIFY(photo.open(QIODevice::ReadOnly));
    QCOMPARE(photo.read(2), QByteArray("\xFF\xD8"));
    // The new cardholder heads the list; the fields are empty again.
    QCOMPARE(page->GridU->rows(), 2);
    QCOMPARE(page->GridU->cellText(1, 1), QStringLiteral("812061121052"));
    QCOMPARE(page->GridU->cellText(1, 6), notFilled);
    QVERIFY(page->photo().isNull());
    QVERIFY(fx.dialogs.calls.isEmpty());

    // A typed name still draws a number.
    page->TxtName->setText(QStringLiteral("有名"));
    page->btnInsert->click();
    QCOMPARE(page->autoName().NextAutoName(), QStringLiteral("812061121054"));
}

void CardholderPageTest::addRefusesDuplicatesAndTrimsTheName()
{
    CardholderWindow fx({plain(QStringLiteral("旧 "), QStringLiteral("0"))});
    CardholderPage* page = fx.page;
    page->TxtName->setText(QStringLiteral("  O'Brien  "));
    page->Combo1->setCurrentIndex(1);
    page->TxtDp->setText(QStringLiteral(" 研发 "));
    page->txtTel->setText(QStringLiteral(" 1'3 "));
    page->btnInsert->click();
    auto rows = storedRows(fx.databasePath());
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[1][0], QStringLiteral("O'Brien "));
    QCOMPARE(rows[1][1], QStringLiteral("女"));
    QCOMPARE(rows[1][2], QStringLiteral("研发"));
    QCOMPARE(rows[1][5], QStringLiteral("1'3"));
    QCOMPARE(page->GridU->rows(), 3);
    QCOMPARE(page->GridU->cellText(1, 1), QStringLiteral("O'Brien"));

    // Same trimmed name and phone: message 128, the fields stay, nothing changes.
    page->TxtName->setText(QStringLiteral("O'Brien"));
    page->txtTel->setText(QStringLiteral("1'3"));
    page->btnInsert->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].text, fx.context->message(128));
    QCOMPARE(fx.dialogs.calls[0].icon, Icon::Warning);
    QCOMPARE(storedRows(fx.databasePath()), rows);
    QCOMPARE(page->GridU->rows(), 3);
    QCOMPARE(page->TxtName->text(), QStringLiteral("O'Brien"));

    // The added cardholder can be loaded, changed and deleted by its apostrophes.
    page->GridU->selectRow(1);
    page->GridU_DblClick();
    page->TxtJob->setText(QStringLiteral("it's"));
    page->txtAd->setText(QStringLiteral("x"));
    fx.dialogs.questionAnswers = {true};
    page->BtnUpdate->click();
    QCOMPARE(storedRows(fx.databasePath())[1][3], QStringLiteral("it's"));
    const int row = page->GridU->cellText(1, 1) == QStringLiteral("O'Brien") ? 1 : 2;
    selectRows(page->GridU, row, row, row);
    fx.dialogs.questionAnswers = {true};
    page->btndel->click();
    QCOMPARE(storedRows(fx.databasePath()).size(), 1);
}

void CardholderPageTest::changeChecksFieldsAndKey()
{
    CardholderWindow fx(
        {{QStringLiteral("张三 "), QStringLiteral("男"), QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
          QStringLiteral("1"), QStringLiteral("0000000009"), QStringLiteral("5、"), QStringLiteral("A、")},
         {QStringLiteral("张三 "),
          QStringLiteral("男"),
          QStringLiteral("x"),
          QStringLiteral("y"),
          QStringLiteral("z"),
          QStringLiteral("2"),
          {},
          {},
          {}}});
    Frmmain& w = fx.w;
    w.show(); // focus moves only in a shown window
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(50);
    fx.dialogs.clear(); // the port warning of the activation
    CardholderPage* page = w.cardholderPage();
    Grid* grid = page->GridU;
    QCOMPARE(grid->cellText(2, 6), QStringLiteral("1")); // the one with a card comes second
    const auto before = storedRows(fx.databasePath());

    // Required fields, in order, with the focus on the empty one.
    grid->selectRow(2);
    page->GridU_DblClick();
    page->txtAd->clear();
    page->TxtDp->setFocus();
    page->BtnUpdate->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(44)});
    QCOMPARE(fx.dialogs.calls[0].icon, Icon::Warning);
    QCOMPARE(w.focusWidget(), page->txtAd);
    fx.dialogs.clear();
    page->TxtName->clear();
    page->BtnUpdate->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(40)});
    QCOMPARE(w.focusWidget(), page->txtAd);
    QCOMPARE(storedRows(fx.databasePath()), before);

    // Only the department: the question names the cardholder, no duplicate check, the
    // name is stored trimmed and the edit ends.
    fx.dialogs.clear();
    page->GridU_DblClick();
    page->TxtDp->setText(QStringLiteral(" 新部门 "));
    fx.dialogs.questionAnswers = {false};
    page->BtnUpdate->click();
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, Kind::Question);
    QCOMPARE(fx.dialogs.calls[0].text, fx.context->message(46) + QStringLiteral("张三") + fx.context->message(47));
    QCOMPARE(storedRows(fx.databasePath()), before);
    fx.dialogs.questionAnswers = {true};
    page->BtnUpdate->click();
    auto rows = storedRows(fx.databasePath());
    QCOMPARE(rows[0], (QStringList{QStringLiteral("张三"), QStringLiteral("男"), QStringLiteral("新部门"),
                                   QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("1"),
                                   QStringLiteral("0000000009"), QStringLiteral("5、"), QStringLiteral("A、")}));
    QCOMPARE(rows[1], before[1]);
    QCOMPARE(grid->cellText(2, 3), QStringLiteral("新部门"));
    QCOMPARE(grid->cellText(2, 7), QStringLiteral("0000000009"));
    QVERIFY(!page->BtnUpdate->isEnabled());
    QVERIFY(page->btnInsert->isEnabled());
    QVERIFY(page->TxtName->text().isEmpty());
    QCOMPARE(page->editKey(), CardholderStore::Key());

    // The phone of the namesake: message 128, nothing written, the edit goes on.
    fx.dialogs.clear();
    grid->selectRow(2);
    page->GridU_DblClick();
    page->txtTel->setText(QStringLiteral("2"));
    page->TxtDp->setText(QStringLiteral("changed"));
    fx.dialogs.questionAnswers = {true};
    page->BtnUpdate->click();
    QCOMPARE(fx.dialogs.messageTexts().last(), fx.context->message(128));
    QCOMPARE(fx.dialogs.calls.last().icon, Icon::Warning);
    QCOMPARE(storedRows(fx.databasePath()), rows);
    QVERIFY(page->BtnUpdate->isEnabled());

    // A new phone and a photo: the row and the list follow the new key.
    savePicture(imagePath(fx, QStringLiteral("张三"), QStringLiteral("1")), Qt::red);
    page->txtTel->setText(QStringLiteral("3"));
    QImage photo(10, 10, QImage::Format_RGB32);
    photo.fill(Qt::green);
    page->setPhoto(photo);
    fx.dialogs.questionAnswers = {true};
    page->BtnUpdate->click();
    QCOMPARE(storedRows(fx.databasePath())[0][5], QStringLiteral("3"));
    QCOMPARE(grid->cellText(2, 6), QStringLiteral("3"));
    QVERIFY(QFile::exists(imagePath(fx, QStringLiteral("张三"), QStringLiteral("3"))));
    QVERIFY(QFile::exists(imagePath(fx, QStringLiteral("张三"), QStringLiteral("1"))));

    // Changed after the cardholder was deleted elsewhere: message 48.
    grid->selectRow(1);
    page->GridU_DblClick();
    {
        Database db;
        QVERIFY(db.open(fx.databasePath()));
        QVERIFY(db.exec(QStringLiteral("delete from 用户信息 where 电话 = '2'")));
    }
    fx.dialogs.clear();
    fx.dialogs.questionAnswers = {true};
    page->BtnUpdate->click();
    QCOMPARE(fx.dialogs.messageTexts().last(), fx.context->message(48));
    QCOMPARE(fx.dialogs.calls.last().icon, Icon::Error);
}

void CardholderPageTest::deleteSelectedRowsWithTheirPhotos()
{
    QList<Holder> holders;
    for (int i = 1; i <= 6; ++i)
        holders.append(plain(QStringLiteral("人%1 ").arg(i), QString::number(i)));
    CardholderWindow fx(holders);
    for (int i = 1; i <= 6; ++i)
        savePicture(imagePath(fx, QStringLiteral("人%1").arg(i), QString::number(i)), Qt::gray);
    CardholderPage* page = fx.page;
    Frmmain& w = fx.w;
    page->TxtName->setText(QStringLiteral("left over"));
    selectRows(page->GridU, 3, 5, 3); // dragged upwards
    QCOMPARE(page->GridU->selectionFirstRow(), 5);
    fx.dialogs.questionAnswers = {true};
    page->btndel->click();

    QCOMPARE(fx.dialogs.messageTexts(),
             (QStringList{deletionQuestion(fx.context->language, 61, 3),
                          fx.context->message(117) + QStringLiteral("3") + fx.context->message(118)}));
    QVERIFY(fx.dialogs.calls.first().defaultNo);
    QCOMPARE(fx.dialogs.calls.last().icon, Icon::None);
    const auto rows = storedRows(fx.databasePath());
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows[2][0], QStringLiteral("人6 "));
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(QFile::exists(imagePath(fx, QStringLiteral("人%1").arg(i), QString::number(i))), i < 3 || i > 5);
    QCOMPARE(page->GridU->rows(), 4);
    QCOMPARE(page->GridU->cellText(3, 1), QStringLiteral("人6 "));
    QCOMPARE(page->GridU->currentRow(), 1);
    QVERIFY(page->TxtName->text().isEmpty());
    ProgressPanel* panel = w.progressPanel();
    QVERIFY(!panel->isVisible());
    QCOMPARE(panel->LblPrg->text(), fx.context->message(127));
    QCOMPARE(panel->LblCount->text(), QStringLiteral("3/3"));
    QCOMPARE(panel->Prg->value(), 3);
    QVERIFY(page->btndel->isEnabled());

    // No: nothing goes.
    fx.dialogs.clear();
    selectRows(page->GridU, 1, 1, 1);
    page->btndel->click();
    QCOMPARE(fx.dialogs.messageTexts(),
             QStringList{deletionQuestion(fx.context->language, 61, 1, QStringLiteral("人1"))});
    QCOMPARE(storedRows(fx.databasePath()).size(), 3);
}

void CardholderPageTest::deleteChecksRowsAndSelection()
{
    CardholderWindow fx;
    CardholderPage* page = fx.page;
    Frmmain& w = fx.w;
    page->btndel->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(116)});
    QCOMPARE(fx.dialogs.calls[0].icon, Icon::Warning);

    store(fx.databasePath(), {plain(QStringLiteral("A "), QStringLiteral("1"))});
    w.LoadCardholders();
    w.FilterCardholders(0, false);
    page->GridU->view()->selectionModel()->clear();
    fx.dialogs.clear();
    page->btndel->click();
    QCOMPARE(fx.dialogs.messageTexts(), QStringList{fx.context->message(15)});
    QCOMPARE(storedRows(fx.databasePath()).size(), 1);
}

void CardholderPageTest::deleteKeepsItsRowsWhenTheSearchChanges()
{
    CardholderWindow fx({plain(QStringLiteral("A "), QStringLiteral("1")),
                         plain(QStringLiteral("B "), QStringLiteral("2")),
                         plain(QStringLiteral("C "), QStringLiteral("3"))});
    CardholderPage* page = fx.page;
    selectRows(page->GridU, 1, 2, 2);
    fx.dialogs.questionAnswers = {true};
    // Typed while the first row is being deleted: the list changes under the deletion.
    QTimer::singleShot(0, page, [page] {
        page->CmbF[0]->setEditText(QStringLiteral("C"));
        page->btndel->click(); // a second deletion does not start meanwhile
    });
    page->btndel->click();
    const auto rows = storedRows(fx.databasePath());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0], QStringLiteral("C "));
    QCOMPARE(fx.dialogs.messageTexts().size(), 2);
}

void CardholderPageTest::exportWritesTheListedRowsWithCompletePermissions()
{
    CardholderWindow fx({{QStringLiteral("张三 "), QStringLiteral("男"), QStringLiteral("部"), QStringLiteral("职"),
                          QStringLiteral("址"), QStringLiteral("1"), QStringLiteral("0000000001"),
                          QStringLiteral("5、17、"), QStringLiteral("A、B、")},
                         plain(QStringLiteral("张四 "), QStringLiteral("2"), QStringLiteral("女")),
                         plain(QStringLiteral("李四 "), QStringLiteral("3")),
                         {QStringLiteral("O'张 "),
                          QStringLiteral("男"),
                          {},
                          {},
                          {},
                          QStringLiteral("4'"),
                          QStringLiteral("0000000002"),
                          QStringLiteral("9、"),
                          Permanent + QStringLiteral("、")}});
    CardholderPage* page = fx.page;
    page->CmbF[0]->setEditText(QStringLiteral("张"));
    QCOMPARE(page->GridU->rows(), 4);
    const QString file = fx.folder.path() + QStringLiteral("/out.csv");
    fx.dialogs.fileAnswers = {file};
    page->btnEx->click();
    QCOMPARE(fx.dialogs.calls.last().text, fx.context->message(121));
    QCOMPARE(fx.dialogs.calls.last().icon, Icon::Information);

    const auto csv = readCsv(file);
    QCOMPARE(csv.size(), 4);
    QCOMPARE(csv[0], (QStringList{fx.context->message(76), fx.context->message(77), fx.context->message(78),
                                  fx.context->message(79), fx.context->message(80), fx.context->message(81),
                                  fx.context->message(82), fx.context->message(83), fx.context->message(84)}));
    // In the listed order: 张四 without card, then 张三 and O'张 with cards.
    QCOMPARE(csv[1],
             (QStringList{QStringLiteral("张四 "), QStringLiteral("女"), {}, {}, {}, QStringLiteral("2"), {}, {}, {}}));
    QCOMPARE(csv[2][0], QStringLiteral("O'张 "));
    QCOMPARE(csv[2][7], QStringLiteral("9、"));
    QCOMPARE(csv[2][8], Permanent + QStringLiteral("、"));
    QCOMPARE(csv[3], (QStringList{QStringLiteral("张三 "), QStringLiteral("男"), QStringLiteral("部"),
                                  QStringLiteral("职"), QStringLiteral("址"), QStringLiteral("1"),
                                  QStringLiteral("0000000001"), QStringLiteral("5、17、"), QStringLiteral("A、B、")}));
    QCOMPARE(page->GridU->cellText(3, 8), QStringLiteral("5"));

    // A narrower search: the next export starts from an empty buffer.
    page->CmbF[0]->setEditText(QStringLiteral("张三"));
    fx.dialogs.fileAnswers = {file};
    page->btnEx->click();
    const auto second = readCsv(file);
    QCOMPARE(second.size(), 2);
    QCOMPARE(second[1][7], QStringLiteral("5、17、"));
    QVERIFY(page->GridTemp->isHidden());
}

void CardholderPageTest::exportReportsFailureAndCancel()
{
    CardholderWindow fx({plain(QStringLiteral("A "), QStringLiteral("1"))});
    CardholderPage* page = fx.page;
    page->btnEx->click(); // cancelled
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, Kind::SaveFile);
    fx.dialogs.fileAnswers = {fx.folder.path() + QStringLiteral("/no/such/folder/out.csv")};
    page->btnEx->click();
    QCOMPARE(fx.dialogs.calls.last().icon, Icon::Error);
    QVERIFY(fx.dialogs.calls.last().text.startsWith(fx.context->message(137) + QLatin1Char('\n')));
    QVERIFY(fx.dialogs.calls.last().text.size() > fx.context->message(137).size() + 1);
}

void CardholderPageTest::printHasTheListTitleInLandscape()
{
    CardholderWindow fx({plain(QStringLiteral("Smith "), QStringLiteral("1"), QStringLiteral("man"))}, 2);
    CardholderPage* page = fx.page;
    page->preparePrint();
    QCOMPARE(page->GridU->pageSetup().title, QStringLiteral("用户信息列表"));
    QCOMPARE(page->GridU->pageSetup().orientation, QPageLayout::Landscape);
    const QString pdf = fx.folder.path() + QStringLiteral("/list.pdf");
    QVERIFY(page->GridU->printToPdf(pdf));
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished());
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(out.contains(QStringLiteral("用户信息列表")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("Smith")));
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY(info.waitForFinished());
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)"))
                                             .match(QString::fromUtf8(info.readAllStandardOutput()));
    QVERIFY(size.hasMatch());
    QVERIFY(size.captured(1).toDouble() > size.captured(2).toDouble());
}

void CardholderPageTest::photoChoiceOffersThreeKindsInAnyCase()
{
    CardholderWindow fx;
    CardholderPage* page = fx.page;
    const QString filter = CardholderPage::photoFilter(fx.context->message(167));
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QCOMPARE(filters.size(), 5);
    QVERIFY(filters[0].startsWith(fx.context->message(167) + QStringLiteral(" (")));
    // Every picture format first, then JPG, bitmap, GIF and PNG; names in any case.
    const QStringList files[5] = {{QStringLiteral("a.JPG"), QStringLiteral("b.png"), QStringLiteral("c.Bmp"),
                                   QStringLiteral("d.gif"), QStringLiteral("e.jpeg")},
                                  {QStringLiteral("a.JPG"), QStringLiteral("b.jpg"), QStringLiteral("c.Jpg")},
                                  {QStringLiteral("a.bmp"), QStringLiteral("b.BMP")},
                                  {QStringLiteral("a.GIF"), QStringLiteral("b.gif")},
                                  {QStringLiteral("a.PNG"), QStringLiteral("b.png")}};
    for (int i = 0; i < 5; ++i) {
        const QStringList patterns = filters[i].section(u'(', 1).chopped(1).split(u' ');
        for (const QString& file : files[i]) {
            bool matched = false;
            for (const QString& pattern : patterns)
                matched = matched
                          || QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                                 .match(file)
                                 .hasMatch();
            QVERIFY2(matched, qPrintable(filters[i] + u' ' + file));
        }
    }

    // A double-click on the picture asks for a file; a bitmap is shown, nothing written.
    const QString bmp = fx.folder.path() + QStringLiteral("/face.BMP");
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QVERIFY(image.save(bmp, "BMP"));
    fx.dialogs.fileAnswers = {bmp};
    QTest::mouseDClick(page->Image1, Qt::LeftButton);
    QCOMPARE(fx.dialogs.calls.size(), 1);
    QCOMPARE(fx.dialogs.calls[0].kind, Kind::OpenFile);
    QCOMPARE(fx.dialogs.calls[0].text, filter);
    QCOMPARE(fx.dialogs.calls[0].title, fx.context->message(160));
    QCOMPARE(fx.dialogs.calls[0].fileKind, Dialogs::FileKind::Photo);
    QVERIFY(!page->photo().isNull());
    QCOMPARE(QDir(fx.context->imageFolder()).entryList(QDir::Files).size(), 0);
    // Cancelled: the picture stays.
    QTest::mouseDClick(page->Image1, Qt::LeftButton);
    QVERIFY(!page->photo().isNull());

    // A transparent PNG is laid on white: the stored JPEG shows no black where it was clear.
    const QString png = fx.folder.path() + QStringLiteral("/face.png");
    QImage clear(16, 16, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QVERIFY(clear.save(png, "PNG"));
    fx.dialogs.fileAnswers = {png};
    QTest::mouseDClick(page->Image1, Qt::LeftButton);
    QCOMPARE(page->photo().pixelColor(8, 8), QColor(Qt::white));
    page->TxtName->setText(QStringLiteral("Png"));
    page->btnInsert->click();
    const QString stored = imagePath(fx, QStringLiteral("Png"), QStringLiteral("未填写"));
    QCOMPARE(QImageReader(stored).format(), QByteArray("jpeg"));
    QVERIFY(QImage(stored).pixelColor(8, 8).lightness() > 240);
}

// A pasted 10,000-character text would otherwise be searched in every row at each keystroke.
void CardholderPageTest::searchFieldsStopAtFiftyCharacters()
{
    CardholderWindow fx;
    const QList<QComboBox*> fields = fx.page->CmbF + fx.w.issuingPage()->CmbF;
    QCOMPARE(fields.size(), 8);
    for (QComboBox* field : fields) {
        field->setEditText(QString(10000, u'x'));
        QCOMPARE(field->currentText().size(), 50);
    }
}

QTEST_MAIN(CardholderPageTest)
#include "CardholderPageTest.moc"
