#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

namespace k27 {

class Database;

// Rows of a workbook import sent to a server many at a time (every column text). Row by row,
// each row costs the look for its key and the insert with its guard: four trips to the server
// and back. Here one statement finds which held rows' keys are stored, and one inserts a run
// of new rows. The embedded engine goes row by row: a statement costs it no trip.
class ImportBatch
{
public:
    static constexpr int Rows = 1000;

    // `keyCondition` is the import's own look (" where ..." with one ? per key column, in
    // order); `insertColumns` are the key columns and then the value columns.
    ImportBatch(Database& db, const QString& table, const QString& keyCondition, const QStringList& insertColumns,
                int keyColumns);

    // Holds a row: `key` as the look binds it; `insertKey` and `values` as the insert writes them.
    void add(const QVariantList& key, const QVariantList& insertKey, const QStringList& values);
    int size() const { return int(m_rows.size()); }
    // A held row has this key.
    bool holds(const QVariantList& key) const { return m_keys.contains(keyText(key)); }

    // (*stored)[i]: a stored row has the key of held row i. False when the server failed.
    bool findStored(std::vector<char>* stored);
    // Inserts held rows [from, to), whose keys differ, in their order; a row whose key a stored
    // row holds by then (another desk's) stays out. (*inserted)[i - from] says which went in.
    // False when the server refused the statement: then none went in (the transaction goes on).
    bool insert(int from, int to, std::vector<char>* inserted);
    void clear();

private:
    // One text of a key's columns, for comparing keys.
    static QString keyText(const QStringList& columns);
    static QString keyText(const QVariantList& key);

    Database& m_db;
    QString m_find;
    QString m_insert;
    int m_keyColumns;
    int m_columns;
    // Each held row's columns as elements of the server's array literals.
    std::vector<std::vector<QByteArray>> m_rows;
    // The find's arrays, a key column each, grown as rows are held.
    std::vector<QByteArray> m_findKeys;
    std::vector<QString> m_writtenKeys; // the key columns as the insert writes them
    QSet<QString> m_keys;
};

} // namespace k27
