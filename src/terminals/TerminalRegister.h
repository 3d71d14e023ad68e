#pragma once

#include <QString>

namespace k27 {

class Database;

// The table 终端机 in the database: number (the key) and install address. Every value is
// bound; nothing typed or imported ever becomes part of a statement.
class TerminalRegister
{
public:
    explicit TerminalRegister(Database& db) : m_db(db) {}

    bool exists(qint64 number);
    bool insert(qint64 number, const QString& address);
    bool updateAddress(qint64 number, const QString& address);
    bool remove(qint64 number);

    // The terminal number a text stands for: its leading decimal number without the
    // fraction, 0 when it has none ("0012" -> 12, "7b" -> 7, "abc" -> 0). Values beyond
    // ±2^53 are held there, where a double still counts in whole numbers.
    static qint64 numberOf(const QString& text);

private:
    Database& m_db;
};

} // namespace k27
