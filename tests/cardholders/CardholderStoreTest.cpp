// The cardholder statements, photo files, automatic names and field rules, without a window.

#include "ProgramFolder.h"

#include "cardholders/AutoName.h"
#include "cardholders/CardholderFields.h"
#include "cardholders/CardholderStore.h"
#include "cardholders/CardholderTable.h"
#include "cardholders/LikePattern.h"
#include "cardholders/PhotoPath.h"
#include "db/DatabaseSession.h"
#include "startup/TextUtil.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

using namespace k27;
using namespace k27::test;

namespace {

struct StoredRow
{
    QString name, gender, department, position, address, phone, card, terminals, validity;
    bool operator==(const StoredRow&) const = default;
};

QList<StoredRow> storedRows(const QString& databasePath)
{
    Database db;
    if (!db.open(databasePath))
        return {};
    QList<StoredRow> rows;
    db.query(QStringLiteral(
                 "select 姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限 from 用户信息 order by ID"),
             {}, [&](const Row& r) {
                 rows.append({r.text(0), r.text(1), r.text(2), r.text(3), r.text(4), r.text(5), r.text(6), r.text(7),
                              r.text(8)});
                 return true;
             });
    return rows;
}

void addRow(const QString& databasePath, const QStringList& values)
{
    Database db;
    QVERIFY(db.open(databasePath));
    QVariantList params;
    for (const QString& v : values)
        params << v;
    QVERIFY(
        db.exec(QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                               " values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                params));
}

QImage picture(Qt::GlobalColor color)
{
    QImage image(40, 50, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

bool isJpeg(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) && f.read(3) == QByteArray("\xFF\xD8\xFF");
}

} // namespace

class CardholderStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void insertValuesAndRequiredFields();
    void automaticNameCountsFromTheClock();
    void photoPathStaysInTheImageFolder();
    void insertStoresTheNameWithABlankAndRefusesDuplicates();
    void namesWithApostrophesAreOrdinaryText();
    void updateChecksTheKeyOnlyWhenItChanges();
    void removeDeletesRowsAndPhotos();
    void searchPatterns_data();
    void searchPatterns();
    void searchLooksAtFiftyCharacters();
    void searchGivesTheRowsOfThePlainMatcher_data();
    void searchGivesTheRowsOfThePlainMatcher();
    void loadListsHoldersWithoutACardFirstEachPartByName();
};

void CardholderStoreTest::searchPatterns_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("matching");
    QTest::addColumn<QStringList>("other");
    QTest::newRow("substring") << "*张*" << QStringList{"张三", "小张", "张"} << QStringList{"李四", ""};
    QTest::newRow("one and digit") << "?#" << QStringList{"a1", "张9"} << QStringList{"a", "ab", "a12"};
    QTest::newRow("sets") << "[a-c][!x]*" << QStringList{"ay", "c1z"} << QStringList{"ax", "dy", "a"};
    QTest::newRow("unclosed bracket") << "*[a*" << QStringList{"x[ay"} << QStringList{"xay"};
    // Longer than any text: rejected at once, however long.
    QTest::newRow("long") << "*" + QString(10000, u'x') + "*" << QStringList{QString(10000, u'x')}
                          << QStringList{"xx", QString(9999, u'x')};
}

void CardholderStoreTest::searchPatterns()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, matching);
    QFETCH(QStringList, other);
    const LikePattern compiled(pattern);
    for (const QString& text : matching)
        QVERIFY2(compiled.matches(text) && likeMatch(text, pattern), qPrintable(text.left(20)));
    for (const QString& text : other)
        QVERIFY2(!compiled.matches(text) && !likeMatch(text, pattern), qPrintable(text.left(20)));
}

// The search fields stop at fifty characters, and a search given more looks at the first fifty.
void CardholderStoreTest::searchLooksAtFiftyCharacters()
{
    CardholderTable table;
    const QString name = QString(50, u'n');
    table.appendRow({"1", name, "男", "", "", "", "1", "", "", ""});
    table.filter(CardholderTable::CardholderPageView, {name + QString(9950, u'z')}, false);
    QCOMPARE(table.viewCount(CardholderTable::CardholderPageView), 1);
}

namespace {
// The like-comparison written out the slow, obvious way, to check the table's search against.
bool plainLike(QStringView text, QStringView pattern)
{
    if (pattern.isEmpty())
        return text.isEmpty();
    const QChar p = pattern.front();
    if (p == u'*')
        return plainLike(text, pattern.mid(1)) || (!text.isEmpty() && plainLike(text.mid(1), pattern));
    if (text.isEmpty())
        return false;
    const QChar c = text.front();
    qsizetype used = 1;
    bool ok = c == p;
    if (p == u'?') {
        ok = true;
    } else if (p == u'#') {
        ok = c >= u'0' && c <= u'9';
    } else if (p == u'[' && pattern.indexOf(u']', 1) > 0) {
        const qsizetype close = pattern.indexOf(u']', 1);
        qsizetype j = 1;
        const bool negated = j < close && pattern[j] == u'!';
        j += negated ? 1 : 0;
        bool in = false;
        for (; j < close; ++j) {
            const bool range = j + 2 < close && pattern[j + 1] == u'-';
            in = in || (c >= pattern[j] && c <= pattern[range ? j + 2 : j]);
            j += range ? 2 : 0;
        }
        ok = in != negated;
        used = close + 1;
    }
    return ok && plainLike(text.mid(1), pattern.mid(used));
}
} // namespace

void CardholderStoreTest::searchGivesTheRowsOfThePlainMatcher_data()
{
    QTest::addColumn<QString>("alphabet");
    QTest::addColumn<int>("seed");
    QTest::addColumn<QStringList>("typed"); // name texts typed first, one keystroke each
    QTest::newRow("letters") << QStringLiteral("abcab张") << 1 << QStringList{"a", "ab", "a", "b"};
    QTest::newRow("blanks and digits") << QStringLiteral("ab 12 ") << 2 << QStringList{"a", "a ", "a 1", "a"};
    QTest::newRow("wildcards") << QStringLiteral("ab1*?#") << 3 << QStringList{"a", "a?", "a?#", "*"};
    QTest::newRow("sets") << QStringLiteral("a1[]!-") << 4 << QStringList{"[", "[a", "[a]", "[", "[!", "[!]"};
}

// Random rows, then random keystrokes in the four fields of both lists: typing on (which may
// narrow the previous result), deleting, replacing a field, switching card-only, and rows
// added, put at the top or changed between searches. Every list must equal the plain matcher.
void CardholderStoreTest::searchGivesTheRowsOfThePlainMatcher()
{
    QFETCH(QString, alphabet);
    QFETCH(int, seed);
    QFETCH(QStringList, typed);
    QRandomGenerator random{quint32(seed)};
    const auto randomText = [&](int most) {
        QString text;
        for (int n = int(random.bounded(most + 1)); n > 0; --n)
            text += alphabet[int(random.bounded(alphabet.size()))];
        return text;
    };
    const auto randomRow = [&] {
        QStringList row;
        for (int c = 0; c < CardholderTable::RowColumns; ++c)
            row << (c == 7 && random.bounded(3) == 0 ? QString() : randomText(8));
        return row;
    };
    CardholderTable table;
    for (int r = 0; r < 200; ++r)
        table.appendRow(randomRow());
    std::array<QStringList, 2> fields{QStringList(4, QString()), QStringList(4, QString())};
    std::array<bool, 2> cardOnly{};
    static const int searched[4] = {1, 7, 3, 5};
    const auto randomStep = [&](CardholderTable::View view) {
        // Mostly the name: four filled fields seldom leave a row to narrow.
        QString& field = fields[view][random.bounded(3) ? 0 : int(random.bounded(4))];
        switch (random.bounded(10)) {
        case 0:
        case 1: field.chop(1); break;
        case 2: field = randomText(2); break;
        case 3: cardOnly[view] = !cardOnly[view]; break;
        case 4: table.prependRow(randomRow()); break;
        case 5: table.appendRow(randomRow()); break;
        case 6: {
            const int row = 1 + int(random.bounded(table.rowCount()));
            table.updateRow(table.rowText(row, 1), table.rowText(row, 6), randomRow());
            break;
        }
        default: field += alphabet[int(random.bounded(alphabet.size()))]; break;
        }
    };
    for (int step = 0; step < 400; ++step) {
        const auto view = CardholderTable::View(step < typed.size() ? 0 : random.bounded(2));
        if (step < typed.size())
            fields[view][0] = typed[step];
        else
            randomStep(view);
        table.filter(view, fields[view], cardOnly[view]);
        QStringList expected, got;
        for (int r = 1; r <= table.rowCount(); ++r) {
            bool pass = !cardOnly[view] || !table.rowText(r, 7).isEmpty();
            for (int i = 0; i < 4 && pass; ++i)
                pass = plainLike(table.rowText(r, searched[i]),
                                 QLatin1Char('*') + trimRight(fields[view][i]) + QLatin1Char('*'));
            for (int c = 1; pass && c <= CardholderTable::LastColumn; ++c)
                expected << table.rowText(r, c);
        }
        for (int r = 1; r <= table.viewCount(view); ++r)
            for (int c = 1; c <= CardholderTable::LastColumn; ++c)
                got << table.viewText(view, r, c);
        QVERIFY2(got == expected, qPrintable(QStringLiteral("step %1: %2").arg(step).arg(fields[view].join(u'|'))));
    }
}

void CardholderStoreTest::loadListsHoldersWithoutACardFirstEachPartByName()
{
    ProgramFolder folder;
    // Stored out of order: name, phone, card, terminals, validities (null for NULL).
    const struct
    {
        const char *name, *phone, *card, *terminals, *validity;
    } stored[] = {{"b", "2", "0000000002", "5、17、", "A、B、"},
                  {"a", "9", nullptr, nullptr, nullptr},
                  {"c", "1", "", "", ""},
                  {"a", "1", "0000000003", "7", "C"},
                  {"b", "1", "0000000001", "12、", "D、"},
                  {"a", "5", "", nullptr, nullptr},
                  {"d", "1", " ", "1、", "E、"},
                  {"a", "3", nullptr, nullptr, nullptr}};
    Database db;
    QVERIFY(db.open(folder.databasePath()));
    for (const auto& row : stored) {
        QVariantList values;
        for (const char* text : {row.name, row.phone, row.card, row.terminals, row.validity})
            values << (text ? QVariant(QString::fromUtf8(text)) : QVariant());
        QVERIFY(db.exec(
            QStringLiteral("insert into 用户信息 (姓名, 电话, 卡号, 权限终端机, 时间期限) values (?, ?, ?, ?, ?)"),
            values));
    }
    CardholderTable table;
    QVERIFY(table.load(db));
    QStringList order;
    for (int r = 1; r <= table.rowCount(); ++r)
        order << QStringList{table.rowText(r, 1) + table.rowText(r, 6), table.rowText(r, 8), table.rowText(r, 9)}.join(
            u'|');
    // A card of blanks is a card; the list columns show the first terminal and its validity.
    QCOMPARE(order, QStringList({"a3||", "a5||", "a9||", "c1|      |", "a1|7|C", "b1|12|D", "b2|5|A", "d1|1|E"}));
}

void CardholderStoreTest::insertValuesAndRequiredFields()
{
    const CardholderFields empty{{}, QStringLiteral("男"), {}, {}, {}, {}};
    const QString notFilled = QStringLiteral("未填写");
    QCOMPARE(empty.forInsert(QStringLiteral("812061121051")),
             (CardholderFields{QStringLiteral("812061121051"), QStringLiteral("男"), notFilled, notFilled, notFilled,
                               notFilled}));
    // A name of blanks is no empty name: it is stored trimmed, not replaced.
    const CardholderFields typed{QStringLiteral("  张三 "), QStringLiteral("女"),   QStringLiteral(" 行政部 "),
                                 QStringLiteral("   "),     QStringLiteral("a  b"), QStringLiteral(" 123 ")};
    const CardholderFields inserted = typed.forInsert(QStringLiteral("x"));
    QCOMPARE(inserted.name, QStringLiteral("张三"));
    QCOMPARE(inserted.department, QStringLiteral("行政部"));
    QCOMPARE(inserted.position, notFilled);
    QCOMPARE(inserted.address, QStringLiteral("a  b"));
    QCOMPARE(inserted.phone, QStringLiteral("123"));
    QCOMPARE(CardholderFields({QStringLiteral("   "), {}, {}, {}, {}, {}}).forInsert(QStringLiteral("x")).name,
             QString());
    QCOMPARE(typed.forUpdate().position, QString());

    // Checked in this order; blanks count as text.
    CardholderFields::Field field = CardholderFields::Gender;
    QCOMPARE(CardholderFields{}.firstEmptyField(&field), 40);
    QCOMPARE(field, CardholderFields::Name);
    CardholderFields f{QStringLiteral("n"), {}, {}, QStringLiteral(" "), {}, {}};
    QCOMPARE(f.firstEmptyField(&field), 42);
    QCOMPARE(field, CardholderFields::Department);
    f.department = QStringLiteral(" ");
    QCOMPARE(f.firstEmptyField(&field), 44);
    QCOMPARE(field, CardholderFields::Address);
    f.address = QStringLiteral("x");
    QCOMPARE(f.firstEmptyField(&field), 45);
    f.phone = QStringLiteral(" ");
    QCOMPARE(f.firstEmptyField(&field), 0);
    f.position.clear();
    QCOMPARE(f.firstEmptyField(&field), 43);
    QCOMPARE(field, CardholderFields::Position);
}

void CardholderStoreTest::automaticNameCountsFromTheClock()
{
    AutoName names;
    QCOMPARE(names.NextAutoName(QDateTime(QDate(2024, 12, 6), QTime(11, 21, 5))), QStringLiteral("812061121051"));
    // Seeded once: a later clock does not restart the counter.
    QCOMPARE(names.NextAutoName(QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5))), QStringLiteral("812061121052"));
    AutoName january;
    QCOMPARE(january.NextAutoName(QDateTime(QDate(2025, 1, 2), QTime(0, 0, 0))), QStringLiteral("801020000001"));
}

void CardholderStoreTest::photoPathStaysInTheImageFolder()
{
    const QString folder = QStringLiteral("/p/Data/img");
    QCOMPARE(PhotoPath(folder, QStringLiteral("张三"), QStringLiteral("123")),
             QStringLiteral("/p/Data/img/张三123.JPG"));
    // The stored name's blank and the typed name give the same file.
    QCOMPARE(PhotoPath(folder, QStringLiteral(" 张三 "), QStringLiteral("123 ")),
             QStringLiteral("/p/Data/img/张三123.JPG"));
    QCOMPARE(photoFileName(QStringLiteral("812061121051"), QStringLiteral("未填写")),
             QStringLiteral("812061121051未填写.JPG"));
    QCOMPARE(photoFileName(QStringLiteral("O'Brien"), QStringLiteral("1'2")), QStringLiteral("O'Brien1'2.JPG"));

    const QStringList names = {QStringLiteral("../../etc/passwd"),
                               QStringLiteral(".."),
                               QStringLiteral("/tmp/x"),
                               QStringLiteral("a\\..\\b"),
                               QStringLiteral("a%2Fb"),
                               QStringLiteral("a/b"),
                               QStringLiteral("x\n"),
                               QString()};
    QSet<QString> seen;
    for (const QString& name : names) {
        for (const QString& phone : {QString(), QStringLiteral("/.."), QStringLiteral("..")}) {
            const QString path = PhotoPath(folder, name, phone);
            QCOMPARE(QFileInfo(path).absolutePath(), folder);
            QVERIFY2(QDir::cleanPath(path).startsWith(folder + u'/'), qPrintable(path));
            QVERIFY(path.endsWith(QStringLiteral(".JPG")));
            QVERIFY2(!seen.contains(path) || name.isEmpty(), qPrintable(path));
            seen.insert(path);
        }
    }
    QVERIFY(photoFileName(QStringLiteral("a/b"), {}) != photoFileName(QStringLiteral("a%2Fb"), {}));
}

void CardholderStoreTest::insertStoresTheNameWithABlankAndRefusesDuplicates()
{
    ProgramFolder folder;
    DatabaseSession storeDatabases(folder.databasePath());
    CardholderStore store(storeDatabases, folder.path(QStringLiteral("Data/img")));
    const CardholderFields typed{QStringLiteral("  张三  "), QStringLiteral("男"), {}, {}, {}, QStringLiteral(" 123 ")};
    qint64 id = 0;
    QImage png = picture(Qt::red);
    QCOMPARE(store.insert(typed.forInsert(QStringLiteral("auto")), png, &id), int(CardholderStore::Done));
    QVERIFY(id > 0);
    auto rows = storedRows(folder.databasePath());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].name, QStringLiteral("张三 "));
    QCOMPARE(rows[0].phone, QStringLiteral("123"));
    QCOMPARE(rows[0].department, QStringLiteral("未填写"));
    QVERIFY(rows[0].card.isEmpty() && rows[0].terminals.isEmpty() && rows[0].validity.isEmpty());
    // Saved as JPEG whatever the picture was read from.
    QVERIFY(isJpeg(folder.path(QStringLiteral("Data/img/张三123.JPG"))));

    // The same trimmed name and phone: refused, nothing written, no photo replaced.
    QCOMPARE(
        store.insert(
            CardholderFields{QStringLiteral("张三"), QStringLiteral("女"), {}, {}, {}, QStringLiteral("123")}.forInsert(
                QStringLiteral("auto")),
            picture(Qt::blue)),
        int(CardholderStore::Duplicate));
    QCOMPARE(storedRows(folder.databasePath()).size(), 1);
    QCOMPARE(QImage(folder.path(QStringLiteral("Data/img/张三123.JPG"))).pixelColor(20, 20).red() > 200, true);
    // Same name, other phone: a different cardholder.
    QCOMPARE(
        store.insert(CardholderFields{QStringLiteral("张三"), {}, {}, {}, {}, QStringLiteral("456")}.forInsert({})),
        int(CardholderStore::Done));
    // Rows stored by hand without the blank are found as well.
    addRow(folder.databasePath(), {QStringLiteral(" 李四"), {}, {}, {}, {}, QStringLiteral("9 "), {}, {}, {}});
    QCOMPARE(store.insert(CardholderFields{QStringLiteral("李四"), {}, {}, {}, {}, QStringLiteral("9")}.forInsert({})),
             int(CardholderStore::Duplicate));

    // The image folder is made when it is missing.
    QVERIFY(QDir(folder.path(QStringLiteral("Data/img"))).removeRecursively());
    QCOMPARE(store.insert(CardholderFields{QStringLiteral("王五"), {}, {}, {}, {}, {}}.forInsert({}), png),
             int(CardholderStore::Done));
    QVERIFY(isJpeg(folder.path(QStringLiteral("Data/img/王五未填写.JPG"))));
    QCOMPARE(QFile::permissions(folder.path(QStringLiteral("Data/img/王五未填写.JPG"))) & 0x0077,
             QFileDevice::Permissions());

    DatabaseSession missingDatabases(folder.path(QStringLiteral("Data/none.kvd")));

    CardholderStore missing(missingDatabases, folder.path(QStringLiteral("Data/img")));
    QCOMPARE(missing.insert(CardholderFields{QStringLiteral("x"), {}, {}, {}, {}, {}}.forInsert({}), png),
             int(CardholderStore::NotStored));
    QVERIFY(!QFile::exists(folder.path(QStringLiteral("Data/img/x未填写.JPG"))));
}

void CardholderStoreTest::namesWithApostrophesAreOrdinaryText()
{
    ProgramFolder folder;
    DatabaseSession storeDatabases(folder.databasePath());
    CardholderStore store(storeDatabases, folder.path(QStringLiteral("Data/img")));
    const QString name = QStringLiteral("O'Brien'); delete from 用户信息; --");
    QCOMPARE(store.insert(CardholderFields{QStringLiteral("张三"), {}, {}, {}, {}, QStringLiteral("1")}.forInsert({})),
             int(CardholderStore::Done));
    QCOMPARE(
        store.insert(CardholderFields{name, QStringLiteral("男"), QStringLiteral("d'x"), {}, {}, QStringLiteral("1'2")}
                         .forInsert({}),
                     picture(Qt::green)),
        int(CardholderStore::Done));
    QCOMPARE(store.insert(CardholderFields{name, {}, {}, {}, {}, QStringLiteral("1'2")}.forInsert({})),
             int(CardholderStore::Duplicate));
    // Wildcards of a like-comparison are plain characters too.
    QCOMPARE(store.insert(CardholderFields{QStringLiteral("张%"), {}, {}, {}, {}, QStringLiteral("_")}.forInsert({})),
             int(CardholderStore::Done));
    QCOMPARE(storedRows(folder.databasePath()).size(), 3);
    QCOMPARE(storedRows(folder.databasePath())[1].name, name + u' ');

    QCOMPARE(store.update({name, QStringLiteral("1'2")},
                          CardholderFields{QStringLiteral("D'Arcy"), QStringLiteral("女"), QStringLiteral("x"),
                                           QStringLiteral("y"), QStringLiteral("z"), QStringLiteral("3'4")}),
             int(CardholderStore::Done));
    QCOMPARE(storedRows(folder.databasePath())[1].name, QStringLiteral("D'Arcy"));
    QCOMPARE(store.remove({{QStringLiteral("D'Arcy"), QStringLiteral("3'4")}}), 1);
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/") + photoFileName(name, QStringLiteral("1'2")))));
    QCOMPARE(storedRows(folder.databasePath()).size(), 2);
}

void CardholderStoreTest::updateChecksTheKeyOnlyWhenItChanges()
{
    ProgramFolder folder;
    const QString db = folder.databasePath();
    DatabaseSession storeDatabases(db);
    CardholderStore store(storeDatabases, folder.path(QStringLiteral("Data/img")));
    // Two rows with one key (as an import may leave them in a file; a shared register keeps
    // each key once) and a namesake with another phone.
    addRow(db, {QStringLiteral("张三 "), QStringLiteral("男"), QStringLiteral("a"), QStringLiteral("b"),
                QStringLiteral("c"), QStringLiteral("1"), QStringLiteral("0000000007"), QStringLiteral("5、17、"),
                QStringLiteral("A、B、")});
    const bool repeatedKeys = !test::onServer();
    if (repeatedKeys)
        addRow(db, {QStringLiteral("张三 "),
                    QStringLiteral("男"),
                    QStringLiteral("second"),
                    {},
                    {},
                    QStringLiteral("1"),
                    {},
                    {},
                    {}});
    addRow(db, {QStringLiteral("张三 "),
                QStringLiteral("男"),
                QStringLiteral("other"),
                {},
                {},
                QStringLiteral("2"),
                {},
                {},
                {}});

    // Only the department changes: no duplicate check (it would find the row itself).
    CardholderFields values{QStringLiteral("张三"), QStringLiteral("女"), QStringLiteral("新部门"),
                            QStringLiteral("b"),    QStringLiteral("c"),  QStringLiteral("1")};
    QCOMPARE(store.update({QStringLiteral("张三"), QStringLiteral("1")}, values, picture(Qt::red)),
             int(CardholderStore::Done));
    auto rows = storedRows(db);
    QCOMPARE(rows[0].name, QStringLiteral("张三")); // a change stores the name trimmed
    QCOMPARE(rows[0].gender, QStringLiteral("女"));
    QCOMPARE(rows[0].department, QStringLiteral("新部门"));
    QCOMPARE(rows[0].card, QStringLiteral("0000000007"));
    QCOMPARE(rows[0].terminals, QStringLiteral("5、17、"));
    QCOMPARE(rows[0].validity, QStringLiteral("A、B、"));
    if (repeatedKeys)
        QCOMPARE(rows[1].department, QStringLiteral("second")); // only the first row of the key
    QVERIFY(isJpeg(folder.path(QStringLiteral("Data/img/张三1.JPG"))));

    // The phone of the namesake: refused, nothing written.
    values.phone = QStringLiteral("2");
    values.department = QStringLiteral("changed");
    QCOMPARE(store.update({QStringLiteral("张三"), QStringLiteral("1")}, values), int(CardholderStore::Duplicate));
    QCOMPARE(storedRows(db), rows);

    // A new key: the row moves, the old photo stays where it was.
    values.phone = QStringLiteral(" 3 ");
    values = values.forUpdate();
    QCOMPARE(store.update({QStringLiteral(" 张三 "), QStringLiteral("1 ")}, values, picture(Qt::blue)),
             int(CardholderStore::Done));
    QCOMPARE(storedRows(db)[0].phone, QStringLiteral("3"));
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/张三1.JPG"))));
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/张三3.JPG"))));

    values.name = QStringLiteral("没有");
    values.phone = QStringLiteral("0");
    QCOMPARE(store.update({QStringLiteral("没有"), QStringLiteral("0")}, values), int(CardholderStore::NoLongerThere));
}

void CardholderStoreTest::removeDeletesRowsAndPhotos()
{
    ProgramFolder folder;
    const QString db = folder.databasePath();
    DatabaseSession storeDatabases(db);
    CardholderStore store(storeDatabases, folder.path(QStringLiteral("Data/img")));
    for (int i = 1; i <= 4; ++i) {
        const CardholderFields f{QStringLiteral("人%1").arg(i), {}, {}, {}, {}, QStringLiteral("%1").arg(i)};
        QCOMPARE(store.insert(f.forInsert({}), picture(Qt::gray)), int(CardholderStore::Done));
    }
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/人22.JPG"))));
    QList<int> progress;
    // Keys as the list shows them (with the stored blank); a key twice counts twice.
    const int deleted = store.remove({{QStringLiteral("人2 "), QStringLiteral("2")},
                                      {QStringLiteral("人3 "), QStringLiteral("3")},
                                      {QStringLiteral("人3 "), QStringLiteral("3")}},
                                     [&](int done) { progress << done; });
    QCOMPARE(deleted, 3);
    QCOMPARE(progress, (QList<int>{1, 2, 3}));
    const auto rows = storedRows(db);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].name, QStringLiteral("人1 "));
    QCOMPARE(rows[1].name, QStringLiteral("人4 "));
    QVERIFY(!QFile::exists(folder.path(QStringLiteral("Data/img/人22.JPG"))));
    QVERIFY(!QFile::exists(folder.path(QStringLiteral("Data/img/人33.JPG"))));
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/人11.JPG"))));

    // Without a database nothing is deleted and no photo goes.
    DatabaseSession brokenDatabases(folder.path(QStringLiteral("Data/none.kvd")));
    CardholderStore broken(brokenDatabases, folder.path(QStringLiteral("Data/img")));
    QCOMPARE(broken.remove({{QStringLiteral("人1"), QStringLiteral("1")}}), 0);
    QVERIFY(QFile::exists(folder.path(QStringLiteral("Data/img/人11.JPG"))));
}

QTEST_GUILESS_MAIN(CardholderStoreTest)
#include "CardholderStoreTest.moc"
