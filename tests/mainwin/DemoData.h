#pragma once

// Demo rows for the registers: cardholders with and without cards, terminals of the first
// ranges and a few days of entry/exit records. Written through bound parameters.

#include "db/Database.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace k27::test {

inline bool seedDemoData(Database& db, int cardholders = 36, int terminals = 60, int records = 300)
{
    static const QStringList family = {QStringLiteral("张"), QStringLiteral("王"), QStringLiteral("李"),
                                       QStringLiteral("赵"), QStringLiteral("陈"), QStringLiteral("刘"),
                                       QStringLiteral("杨"), QStringLiteral("黄"), QStringLiteral("周")};
    static const QStringList given = {QStringLiteral("伟"), QStringLiteral("芳"), QStringLiteral("娜"),
                                      QStringLiteral("敏"), QStringLiteral("静"), QStringLiteral("磊"),
                                      QStringLiteral("洋"), QStringLiteral("勇"), QStringLiteral("艳"),
                                      QStringLiteral("杰"), QStringLiteral("涛"), QStringLiteral("明")};
    static const QStringList departments = {QStringLiteral("行政部"),   QStringLiteral("财务部"),
                                            QStringLiteral("研发中心"), QStringLiteral("生产一车间"),
                                            QStringLiteral("保卫科"),   QStringLiteral("销售部")};
    static const QStringList jobs = {QStringLiteral("经理"), QStringLiteral("工程师"), QStringLiteral("会计"),
                                     QStringLiteral("保安"), QStringLiteral("操作员"), QStringLiteral("主管")};
    static const QStringList months = {QStringLiteral("一月"), QStringLiteral("三月"), QStringLiteral("六月"),
                                       QStringLiteral("九月"), QStringLiteral("十二月")};
    bool ok = db.beginTransaction();
    for (int i = 0; i < cardholders; ++i) {
        const QString name = family[i % family.size()] + given[(i * 5) % given.size()]
                             + (i >= 24 ? given[(i * 7 + 3) % given.size()] : QString()) + QLatin1Char(' ');
        const bool hasCard = i % 3 != 0;
        const QString card = hasCard ? QString::number(1200345 + i * 7919).rightJustified(10, QLatin1Char('0'))
                                     : QString();
        QString terminalsText, validity;
        if (hasCard) {
            for (int t : {1 + i % 20, 21 + i % 25, 47 + i % 30}) {
                terminalsText += QString::number(t) + QStringLiteral("、");
                validity += QStringLiteral("2027：") + months[(i + t) % months.size()] + QStringLiteral("、");
            }
        }
        ok = db.exec(
                 QStringLiteral("insert into 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号, 权限终端机, 时间期限)"
                                " values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                 {name, i % 4 == 1 ? QStringLiteral("女") : QStringLiteral("男"), departments[i % departments.size()],
                  jobs[i % jobs.size()], QStringLiteral("南山区科技园%1栋%2室").arg(1 + i % 9).arg(101 + i * 3),
                  QStringLiteral("1380013%1").arg(i * 37 % 10000, 4, 10, QLatin1Char('0')), card,
                  hasCard ? QVariant(terminalsText) : QVariant(QString()), validity})
             && ok;
    }
    static const QStringList places = {QStringLiteral("办公楼一层正门"), QStringLiteral("办公楼二层东侧"),
                                       QStringLiteral("研发中心入口"),   QStringLiteral("车间北门"),
                                       QStringLiteral("仓库卷帘门"),     QStringLiteral("地下车库电梯厅")};
    for (int t = 1; t <= terminals; ++t)
        ok = db.exec(QStringLiteral("insert into 终端机 (终端机号, 地址) values (?, ?)"),
                     {t, places[t % places.size()] + QStringLiteral(" %1号").arg(t)})
             && ok;
    if (db.hasTable(QStringLiteral("进出记录"))) {
        const QDateTime start(QDate(2025, 3, 3), QTime(7, 30));
        static const QStringList weekdays = {
            QStringLiteral("星期一"), QStringLiteral("星期二"), QStringLiteral("星期三"), QStringLiteral("星期四"),
            QStringLiteral("星期五"), QStringLiteral("星期六"), QStringLiteral("星期日")};
        for (int r = 0; r < records; ++r) {
            const QDateTime when = start.addSecs(qint64(r) * 1031);
            const int holder = 1 + (r * 7) % qMax(cardholders - 1, 1);
            ok = db.exec(QStringLiteral("insert into 进出记录 (卡号, 进出时间, 终端机号, 星期) values (?, ?, ?, ?)"),
                         {QString::number(1200345 + holder * 7919).rightJustified(10, QLatin1Char('0')),
                          when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), 1 + r % terminals,
                          weekdays[when.date().dayOfWeek() - 1]})
                 && ok;
        }
    }
    return db.commit() && ok;
}

} // namespace k27::test
