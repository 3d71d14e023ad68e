#pragma once

#include "ProgramFolder.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "platform/ImportProgress.h"

#include <QList>
#include <QtTest>

namespace k27::test {

// A program database with the record table, and helpers to fill the three tables.
class RecordDatabase
{
public:
    RecordDatabase()
    {
        QVERIFY2(db.open(folder.databasePath()), qPrintable(db.lastError()));
        QVERIFY(EnsureRecordTable(db));
    }

    void holder(const QString& card, const QString& name, const QString& department = {}, const QString& address = {})
    {
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 用户信息 (卡号, 姓名, 部门, 住址) VALUES (?, ?, ?, ?)"),
                        {card, name, department, address}));
    }
    void terminal(int number, const QString& address)
    {
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 终端机 (终端机号, 地址) VALUES (?, ?)"), {number, address}));
    }
    void record(const QString& card, const QString& time, int terminal = 1,
                const QString& weekday = QStringLiteral("星期一"))
    {
        QVERIFY(db.exec(QStringLiteral("INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期) VALUES (?, ?, ?, ?)"),
                        {card, time, terminal, weekday}));
    }
    qint64 count(const QString& where = QStringLiteral("1"), const QVariantList& params = {})
    {
        return db.scalar(QStringLiteral("SELECT count(*) FROM 进出记录 WHERE ") + where, params).toLongLong();
    }
    // A file in the program folder.
    QString file(const QString& name, const QByteArray& bytes)
    {
        folder.writeFile(name, bytes);
        return folder.path(name);
    }

    ProgramFolder folder;
    Database db;
};

// Keeps what an operation reported.
class RecordingProgress final : public ImportProgress
{
public:
    void begin(int total) override
    {
        maximum = total;
        values.append(0);
    }
    void advance(int done, int) override
    {
        values.append(done);
        ++pumps;
        if (onPump)
            onPump();
    }
    void end(int done, int) override { values.append(done); }
    bool stopRequested() const override { return stop; }

    int maximum = -1;
    QList<int> values;
    int pumps = 0;
    std::function<void()> onPump;
    bool stop = false;
};

} // namespace k27::test
