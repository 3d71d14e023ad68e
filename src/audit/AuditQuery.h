#pragma once

#include "audit/AuditLog.h"

#include <QList>
#include <QString>

namespace k27 {

class Database;

namespace audit {

// What the log page asks for; an empty field does not narrow the search. Times are UTC texts
// as stored, the end included.
struct LogFilter
{
    QString fromUtc;
    QString toUtc;
    QString operatorName; // exact
    QString action;       // exact code
    QString subject;      // a part of the subject or the details
    int limit = 100000;   // newest first
};

// The rows that pass, newest first. Plain SQL that every engine of the register understands.
QList<LogRow> findRows(Database& db, const LogFilter& filter, bool* ok = nullptr);

// The distinct operators and action codes in the log, for the filter lists.
QStringList distinctValues(Database& db, const QString& column);

} // namespace audit
} // namespace k27
