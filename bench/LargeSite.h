#pragma once

#include "db/Database.h"

#include <QString>

namespace k27::bench {

// A large site's register for the record benches, inside the caller's transaction: holders with
// cards 1..holders, numbered terminals, and one record every 3 seconds from 2020 on, its card
// spread over `cards` (those above `holders` belong to nobody) and its terminal over all.
inline void seedLargeSite(Database& db, int holders, int terminals, int cards, int records)
{
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 用户信息 (姓名, 性别, 部门, 职位, 住址, 电话, 卡号)"
                           " SELECT '职员' || i, '男', '部门' || (i % 40), '职员', '住址' || (i % 300), '138' || i,"
                           " printf('%010d', i) FROM n"),
            {holders});
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 终端机 (终端机号, 地址) SELECT i, '大门' || i FROM n"),
            {terminals});
    db.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?)"
                           " INSERT INTO 进出记录 (卡号, 进出时间, 终端机号, 星期)"
                           " SELECT printf('%010d', 1 + (i * 7919) % ?),"
                           "        strftime('%Y-%m-%d %H:%M:%S', '2020-01-01', '+' || (i * 3) || ' seconds'),"
                           "        1 + i % ?, '星期' || (i % 7) FROM n"),
            {records, cards, terminals});
}

} // namespace k27::bench
