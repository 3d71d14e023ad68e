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

namespace {

// Rewrites one statement token by token; each kind of token has its own step, which
// returns where the next token starts.
class StatementWriter
{
public:
    explicit StatementWriter(const QString& sql) : m_sql(sql), m_n(sql.size()) { m_out.reserve(sql.size() + 16); }

    QString run(int* parameters)
    {
        qsizetype i = 0;
        while (i < m_n) {
            const QChar c = m_sql[i];
            if (c == u'\'' || c == u'"')
                i = quoted(i, c);
            else if (c == u'-' && i + 1 < m_n && m_sql[i + 1] == u'-')
                i = comment(i);
            else if (c == u'?')
                i = parameter(i);
            else if (identifierStart(c))
                i = identifier(i);
            else if (c.isDigit())
                i = numeral(i);
            else if (c == u'+' && i + 1 < m_n && identifierStart(m_sql[i + 1]) && unaryPosition(m_out))
                ++i; // "+column" keeps the embedded engine off an index; the server plans for itself.
            else
                i = punctuation(i, c);
        }
        finish();
        if (parameters)
            *parameters = m_highest;
        return m_out;
    }

private:
    // A literal or a quoted name, with its doubled quotes, goes over as it is.
    qsizetype quoted(qsizetype i, QChar quote)
    {
        qsizetype end = i + 1;
        while (end < m_n) {
            if (m_sql[end] == quote) {
                if (end + 1 < m_n && m_sql[end + 1] == quote) {
                    end += 2;
                    continue;
                }
                break;
            }
            ++end;
        }
        m_out += QStringView(m_sql).mid(i, end + 1 - i);
        return end + 1;
    }

    qsizetype comment(qsizetype i)
    {
        const qsizetype end = m_sql.indexOf(u'\n', i);
        const qsizetype stop = end < 0 ? m_n : end;
        m_out += QStringView(m_sql).mid(i, stop - i);
        return stop;
    }

    qsizetype parameter(qsizetype i)
    {
        qsizetype end = i + 1;
        while (end < m_n && m_sql[end].isDigit())
            ++end;
        int number = end > i + 1 ? m_sql.mid(i + 1, end - i - 1).toInt() : m_highest + 1;
        m_highest = qMax(m_highest, number);
        m_out += u'$' + QString::number(number);
        return end;
    }

    bool followedBy(qsizetype end, QLatin1String next) const
    {
        return m_sql.mid(end).trimmed().startsWith(next, Qt::CaseInsensitive);
    }

    qsizetype identifier(qsizetype i)
    {
        qsizetype end = i + 1;
        while (end < m_n && identifierPart(m_sql[end]))
            ++end;
        const QString word = m_sql.mid(i, end - i);
        bool wide = false;
        for (QChar w : word)
            wide = wide || w.unicode() > 127;
        const QString upper = word.toUpper();
        if (m_orderBy && (upper == QLatin1String("ASC") || upper == QLatin1String("DESC"))) {
            m_out += word + nulls(m_out.mid(m_termStart), upper == QLatin1String("DESC"));
            m_termOrdered = true;
        } else if (wide || keptCase().contains(word)) {
            m_out += u'"' + word + u'"';
        } else if (upper == QLatin1String("LIKE")) {
            m_out += QStringLiteral("ILIKE");
        } else if (upper == QLatin1String("CROSS") && followedBy(end, QLatin1String("JOIN"))) {
            // The embedded engine's "CROSS JOIN ... ON" only fixes the order of the join.
            m_out += QStringLiteral("INNER");
        } else if (upper == QLatin1String("IFNULL")) {
            m_out += QStringLiteral("coalesce");
        } else if (upper == QLatin1String("OR")
                   && m_out.trimmed().endsWith(QLatin1String("INSERT"), Qt::CaseInsensitive)
                   && followedBy(end, QLatin1String("IGNORE"))) {
            // "INSERT OR IGNORE": both words go, the conflict clause comes at the end.
            end = m_sql.indexOf(QLatin1String("IGNORE"), end, Qt::CaseInsensitive) + 6;
            m_orIgnore = true;
            if (m_out.endsWith(u' '))
                m_out.chop(1);
        } else if (upper == QLatin1String("ORDER") && followedBy(end, QLatin1String("BY"))) {
            end = m_sql.indexOf(QLatin1String("BY"), end, Qt::CaseInsensitive) + 2;
            m_out += m_sql.mid(i, end - i);
            m_orderBy = true;
            m_orderDepth = m_depth;
            m_termOrdered = false;
            m_termStart = m_out.size();
        } else if (m_orderBy && m_depth == m_orderDepth
                   && (upper == QLatin1String("LIMIT") || upper == QLatin1String("OFFSET")
                       || upper == QLatin1String("NULLS"))) {
            if (upper != QLatin1String("NULLS") && !m_termOrdered)
                m_out += nulls(m_out.mid(m_termStart), false).mid(1) + u' ';
            m_orderBy = upper == QLatin1String("NULLS");
            m_termOrdered = true;
            m_out += word;
        } else {
            m_out += word;
        }
        return end;
    }

    qsizetype numeral(qsizetype i)
    {
        qsizetype end = i + 1;
        while (end < m_n && (m_sql[end].isLetterOrNumber() || m_sql[end] == u'.'))
            ++end;
        const QString number = m_sql.mid(i, end - i);
        // "WHERE 1", "AND 0": the embedded engine takes a number for a truth value.
        if ((number == QLatin1String("0") || number == QLatin1String("1")) && afterCondition(m_out)
            && beforeConditionEnd(m_sql, end))
            m_out += number == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        else
            m_out += number;
        return end;
    }

    qsizetype punctuation(qsizetype i, QChar c)
    {
        if (m_orderBy && m_depth == m_orderDepth && (c == u',' || c == u')' || c == u';')) {
            if (!m_termOrdered)
                m_out += nulls(m_out.mid(m_termStart), false);
            m_termOrdered = false;
            m_orderBy = c == u',';
            m_termStart = m_out.size() + 1;
        }
        if (c == u'(')
            ++m_depth;
        else if (c == u')')
            --m_depth;
        m_out += c;
        return i + 1;
    }

    void finish()
    {
        if (m_orderBy && !m_termOrdered)
            m_out += nulls(m_out.mid(m_termStart), false);
        if (m_orIgnore) {
            while (m_out.endsWith(u';') || m_out.endsWith(u' '))
                m_out.chop(1);
            m_out += QStringLiteral(" ON CONFLICT DO NOTHING");
        }
    }

    const QString& m_sql;
    const qsizetype m_n;
    QString m_out;
    int m_highest = 0;
    bool m_orIgnore = false;
    // Inside an ORDER BY list (at m_orderDepth parentheses): each term gets the embedded
    // engine's place for nulls unless it says its own.
    bool m_orderBy = false;
    bool m_termOrdered = false;
    int m_depth = 0;
    int m_orderDepth = 0;
    qsizetype m_termStart = 0;
};

} // namespace

QString serverStatement(const QString& sql, int* parameters)
{
    return StatementWriter(sql).run(parameters);
}

} // namespace k27
