#include "ServerDialect.h"

#include <QSet>

namespace k27 {

namespace {

bool identifierStart(QChar c)
{
    return c.isLetter() || c == u'_' || c.unicode() > 127;
}
bool identifierPart(QChar c)
{
    return identifierStart(c) || c.isDigit() || c == u'$';
}

// ASCII column names with capitals: the server would fold them to lower case.
const QSet<QString>& keptCase()
{
    static const QSet<QString> names{QStringLiteral("ID"), QStringLiteral("Password")};
    return names;
}

// True when an operator here would have no left operand (after a keyword, "(", "," or "=").
bool unaryPosition(const QString& out)
{
    qsizetype i = out.size() - 1;
    while (i >= 0 && out[i].isSpace())
        --i;
    if (i < 0)
        return true;
    const QChar last = out[i];
    if (last == u'(' || last == u',' || last == u'=' || last == u'<' || last == u'>')
        return true;
    if (!last.isLetter())
        return false;
    qsizetype start = i;
    while (start > 0 && identifierPart(out[start - 1]))
        --start;
    static const QSet<QString> keywords{QStringLiteral("WHERE"),  QStringLiteral("AND"),  QStringLiteral("OR"),
                                        QStringLiteral("ON"),     QStringLiteral("NOT"),  QStringLiteral("BY"),
                                        QStringLiteral("SELECT"), QStringLiteral("WHEN"), QStringLiteral("THEN"),
                                        QStringLiteral("ELSE")};
    return keywords.contains(out.mid(start, i + 1 - start).toUpper());
}

// The embedded engine sorts nulls below every value; the server above. Columns that are never
// null are left alone, so that the server can walk their index backwards.
QString nulls(const QString& term, bool descending)
{
    const QString core = term.trimmed();
    static const QSet<QString> neverNull{QStringLiteral("\"ID\""), QStringLiteral("rowid"), QStringLiteral("\"序号\"")};
    const qsizetype dot = core.lastIndexOf(u'.');
    if (neverNull.contains(dot < 0 ? core : core.mid(dot + 1)) || core.trimmed().isEmpty())
        return {};
    return descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
}

bool afterCondition(const QString& out)
{
    qsizetype i = out.size() - 1;
    while (i >= 0 && out[i].isSpace())
        --i;
    qsizetype start = i;
    while (start > 0 && out[start - 1].isLetter())
        --start;
    const QString word = out.mid(start, i + 1 - start).toUpper();
    return word == QLatin1String("WHERE") || word == QLatin1String("AND") || word == QLatin1String("OR")
           || word == QLatin1String("NOT") || word == QLatin1String("ON") || word == QLatin1String("HAVING");
}

bool beforeConditionEnd(const QString& sql, qsizetype from)
{
    const QString rest = sql.mid(from).trimmed();
    if (rest.isEmpty() || rest.startsWith(u')') || rest.startsWith(u';'))
        return true;
    qsizetype end = 0;
    while (end < rest.size() && rest[end].isLetter())
        ++end;
    const QString word = rest.left(end).toUpper();
    return word == QLatin1String("AND") || word == QLatin1String("OR") || word == QLatin1String("ORDER")
           || word == QLatin1String("GROUP") || word == QLatin1String("LIMIT");
}

} // namespace

QString firstKeyword(const QString& sql)
{
    qsizetype i = 0;
    while (i < sql.size() && (sql[i].isSpace() || sql[i] == u'('))
        ++i;
    qsizetype end = i;
    while (end < sql.size() && sql[end].isLetter())
        ++end;
    return sql.mid(i, end - i).toUpper();
}

QString serverStatement(const QString& sql, int* parameters)
{
    QString out;
    out.reserve(sql.size() + 16);
    int highest = 0;
    bool orIgnore = false;
    // Inside an ORDER BY list (at `orderDepth` parentheses): each term gets the embedded
    // engine's place for nulls unless it says its own.
    bool orderBy = false;
    bool termOrdered = false;
    int depth = 0;
    int orderDepth = 0;
    qsizetype termStart = 0;
    const qsizetype n = sql.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = sql[i];
        if (c == u'\'' || c == u'"') {
            // A literal or a quoted name, with its doubled quotes, goes over as it is.
            qsizetype end = i + 1;
            while (end < n) {
                if (sql[end] == c) {
                    if (end + 1 < n && sql[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            out += QStringView(sql).mid(i, end + 1 - i);
            i = end + 1;
        } else if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            const qsizetype end = sql.indexOf(u'\n', i);
            const qsizetype stop = end < 0 ? n : end;
            out += QStringView(sql).mid(i, stop - i);
            i = stop;
        } else if (c == u'?') {
            qsizetype end = i + 1;
            while (end < n && sql[end].isDigit())
                ++end;
            int number = end > i + 1 ? sql.mid(i + 1, end - i - 1).toInt() : highest + 1;
            highest = qMax(highest, number);
            out += u'$' + QString::number(number);
            i = end;
        } else if (identifierStart(c)) {
            qsizetype end = i + 1;
            while (end < n && identifierPart(sql[end]))
                ++end;
            const QString word = sql.mid(i, end - i);
            bool wide = false;
            for (QChar w : word)
                wide = wide || w.unicode() > 127;
            const QString upper = word.toUpper();
            if (orderBy && (upper == QLatin1String("ASC") || upper == QLatin1String("DESC"))) {
                out += word + nulls(out.mid(termStart), upper == QLatin1String("DESC"));
                termOrdered = true;
            } else if (wide || keptCase().contains(word)) {
                out += u'"' + word + u'"';
            } else if (upper == QLatin1String("LIKE")) {
                out += QStringLiteral("ILIKE");
            } else if (upper == QLatin1String("CROSS")
                       && sql.mid(end).trimmed().startsWith(QLatin1String("JOIN"), Qt::CaseInsensitive)) {
                // The embedded engine's "CROSS JOIN ... ON" only fixes the order of the join.
                out += QStringLiteral("INNER");
            } else if (upper == QLatin1String("IFNULL")) {
                out += QStringLiteral("coalesce");
            } else if (upper == QLatin1String("OR")
                       && out.trimmed().endsWith(QLatin1String("INSERT"), Qt::CaseInsensitive)
                       && sql.mid(end).trimmed().startsWith(QLatin1String("IGNORE"), Qt::CaseInsensitive)) {
                // "INSERT OR IGNORE": both words go, the conflict clause comes at the end.
                end = sql.indexOf(QLatin1String("IGNORE"), end, Qt::CaseInsensitive) + 6;
                orIgnore = true;
                if (out.endsWith(u' '))
                    out.chop(1);
            } else if (upper == QLatin1String("ORDER")
                       && sql.mid(end).trimmed().startsWith(QLatin1String("BY"), Qt::CaseInsensitive)) {
                end = sql.indexOf(QLatin1String("BY"), end, Qt::CaseInsensitive) + 2;
                out += sql.mid(i, end - i);
                orderBy = true;
                orderDepth = depth;
                termOrdered = false;
                termStart = out.size();
            } else if (orderBy && depth == orderDepth
                       && (upper == QLatin1String("LIMIT") || upper == QLatin1String("OFFSET")
                           || upper == QLatin1String("NULLS"))) {
                if (upper != QLatin1String("NULLS") && !termOrdered)
                    out += nulls(out.mid(termStart), false).mid(1) + u' ';
                orderBy = upper == QLatin1String("NULLS");
                termOrdered = true;
                out += word;
            } else {
                out += word;
            }
            i = end;
        } else if (c.isDigit()) {
            qsizetype end = i + 1;
            while (end < n && (sql[end].isLetterOrNumber() || sql[end] == u'.'))
                ++end;
            const QString number = sql.mid(i, end - i);
            // "WHERE 1", "AND 0": the embedded engine takes a number for a truth value.
            if ((number == QLatin1String("0") || number == QLatin1String("1")) && afterCondition(out)
                && beforeConditionEnd(sql, end))
                out += number == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            else
                out += number;
            i = end;
        } else if (c == u'+' && i + 1 < n && identifierStart(sql[i + 1]) && unaryPosition(out)) {
            // "+column" keeps the embedded engine off an index; the server plans for itself.
            ++i;
        } else {
            if (orderBy && depth == orderDepth && (c == u',' || c == u')' || c == u';')) {
                if (!termOrdered)
                    out += nulls(out.mid(termStart), false);
                termOrdered = false;
                orderBy = c == u',';
                termStart = out.size() + 1;
            }
            if (c == u'(')
                ++depth;
            else if (c == u')')
                --depth;
            out += c;
            ++i;
        }
    }
    if (orderBy && !termOrdered)
        out += nulls(out.mid(termStart), false);
    if (orIgnore) {
        while (out.endsWith(u';') || out.endsWith(u' '))
            out.chop(1);
        out += QStringLiteral(" ON CONFLICT DO NOTHING");
    }
    if (parameters)
        *parameters = highest;
    return out;
}

} // namespace k27
