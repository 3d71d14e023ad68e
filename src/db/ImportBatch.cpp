#include "ImportBatch.h"

#include "db/Database.h"
#include "db/ServerConnection.h"

namespace k27 {

namespace {

QString textArrays(int first, int count)
{
    QStringList arrays;
    for (int i = 0; i < count; ++i)
        arrays << QStringLiteral("$%1::text[]").arg(first + i);
    return arrays.join(QStringLiteral(", "));
}

QString names(const QString& prefix, int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << prefix + QString::number(i);
    return list.join(QStringLiteral(", "));
}

// The import's look with the held rows' key columns (l.k1, l.k2...) in place of its values.
QString keyConditionOnHeld(const QString& keyCondition)
{
    QString condition;
    int next = 0;
    for (const QChar c : keyCondition) {
        if (c == u'?')
            condition += QStringLiteral("l.k") + QString::number(++next);
        else
            condition += c;
    }
    return condition;
}

} // namespace

ImportBatch::ImportBatch(Database& db, const QString& table, const QString& keyCondition,
                         const QStringList& insertColumns, int keyColumns)
    : m_db(db), m_keyColumns(keyColumns), m_columns(int(insertColumns.size())),
      m_findKeys(static_cast<size_t>(keyColumns))
{
    // A plain SELECT: the server needs no guard around it. One look per row through the key's
    // index (LIMIT 1 keeps it so): knowing a batch's size, the planner would otherwise read the
    // whole table for a hash join, which took most of an import's time at 100,000 holders.
    m_find = QStringLiteral("SELECT n FROM unnest(%1) WITH ORDINALITY AS l(%2, n),"
                            " LATERAL (SELECT 1 FROM %3%4 LIMIT 1) s")
                 .arg(textArrays(1, keyColumns), names(QStringLiteral("k"), keyColumns), table,
                      keyConditionOnHeld(keyCondition));
    // The unique key decides a race with another desk: its row stays, this one is left out.
    m_insert = QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM unnest(%4) WITH ORDINALITY AS l(%3, n) ORDER BY n"
                              " ON CONFLICT DO NOTHING RETURNING %5")
                   .arg(table, insertColumns.join(QStringLiteral(", ")), names(QStringLiteral("c"), m_columns),
                        textArrays(1, m_columns), insertColumns.mid(0, keyColumns).join(QStringLiteral(", ")));
}

QString ImportBatch::keyText(const QStringList& columns)
{
    return columns.join(QChar(u'\0')); // a key column never holds a NUL
}

QString ImportBatch::keyText(const QVariantList& key)
{
    QStringList columns;
    for (const QVariant& value : key)
        columns << value.toString();
    return keyText(columns);
}

void ImportBatch::add(const QVariantList& key, const QVariantList& insertKey, const QStringList& values)
{
    QStringList written;
    for (const QVariant& value : insertKey)
        written << value.toString();
    std::vector<QByteArray> row(static_cast<size_t>(m_columns));
    for (int c = 0; c < m_columns; ++c)
        appendArrayElement(row[size_t(c)], c < m_keyColumns ? written.value(c) : values.value(c - m_keyColumns));
    m_rows.push_back(std::move(row));
    for (int k = 0; k < m_keyColumns; ++k)
        appendArrayElement(m_findKeys[size_t(k)], key.value(k).toString());
    m_writtenKeys.push_back(keyText(written));
    m_keys.insert(keyText(key));
}

bool ImportBatch::findStored(std::vector<char>* stored)
{
    stored->assign(m_rows.size(), 0);
    ServerConnection* server = m_db.serverConnection();
    if (!server)
        return false;
    QVariantList arrays;
    for (const QByteArray& elements : m_findKeys)
        arrays << arrayLiteral(elements);
    pg_result* result = server->runNative(m_find, arrays);
    if (!result)
        return false;
    for (int row = 0, rows = serverRows(result); row < rows; ++row) {
        const qint64 held = serverInteger(result, row, 0) - 1;
        if (held >= 0 && held < qint64(m_rows.size()))
            (*stored)[size_t(held)] = 1;
    }
    serverFree(result);
    return true;
}

bool ImportBatch::insert(int from, int to, std::vector<char>* inserted)
{
    inserted->assign(size_t(qMax(0, to - from)), 0);
    ServerConnection* server = m_db.serverConnection();
    if (!server || from >= to)
        return server != nullptr;
    QVariantList arrays;
    for (int c = 0; c < m_columns; ++c) {
        QByteArray elements;
        for (int i = from; i < to; ++i) {
            if (!elements.isEmpty())
                elements += ',';
            elements += m_rows[size_t(i)][size_t(c)];
        }
        arrays << arrayLiteral(elements);
    }
    pg_result* result = server->runNative(m_insert, arrays);
    if (!result)
        return false;
    // The rows that went in come back with their key columns as written; the run's keys differ.
    QHash<QString, int> byKey;
    for (int i = from; i < to; ++i)
        byKey.insert(m_writtenKeys[size_t(i)], i - from);
    QStringList key;
    for (int row = 0, rows = serverRows(result); row < rows; ++row) {
        key.clear();
        for (int k = 0; k < m_keyColumns; ++k)
            key << serverText(result, row, k);
        const auto found = byKey.constFind(keyText(key));
        if (found != byKey.constEnd())
            (*inserted)[size_t(*found)] = 1;
    }
    serverFree(result);
    return true;
}

void ImportBatch::clear()
{
    m_rows.clear();
    for (QByteArray& elements : m_findKeys)
        elements.clear();
    m_writtenKeys.clear();
    m_keys.clear();
}

} // namespace k27
