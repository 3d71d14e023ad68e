#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace k27 {

class Database;

// Lines of a record import stored many at a time on a server. Line by line, each line would
// be a trip to the server and back (and a guard around it); here one statement stores every
// line of the batch whose card and entry time no stored record holds, nor an earlier line of
// the same batch. The embedded engine stores line by line: a statement costs it no trip.
class RecordBatch
{
public:
    static constexpr int Lines = 2000;

    explicit RecordBatch(Database& db) : m_db(db) {}

    void add(const QString& card, qint64 terminal, const QString& when, const QString& weekday);
    int size() const { return m_size; }

    // Stores the lines added since the last store, in their order; (*stored)[i] says whether
    // line i went in. False when the server refused the statement: then nothing of the batch
    // is stored (the open transaction goes on) and the lines are still held.
    bool store(std::vector<char>* stored);
    // Forgets the lines held.
    void clear();

private:
    Database& m_db;
    int m_size = 0;
    // The four columns as the server's array literals, without their braces.
    QByteArray m_cards, m_terminals, m_times, m_weekdays;
};

} // namespace k27
