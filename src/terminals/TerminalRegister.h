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
    // False when refused; duplicate() then says whether another desk stored the number first.
    bool insert(qint64 number, const QString& address);
    // The stored address and the row's version (-1 where the register keeps none); false when
    // the number is not stored.
    bool read(qint64 number, QString* address, qint64* version);
    // With a `readVersion` (>= 0) the address is changed only while the row is still at that
    // version; otherwise changedElsewhere() says so and nothing is written.
    bool updateAddress(qint64 number, const QString& address, qint64 readVersion = -1);
    bool duplicate() const { return m_duplicate; }
    bool changedElsewhere() const { return m_changedElsewhere; }
    bool remove(qint64 number);

    // The terminal number a text stands for: its leading decimal number without the
    // fraction, 0 when it has none ("0012" -> 12, "7b" -> 7, "abc" -> 0). Values beyond
    // ±2^53 are held there, where a double still counts in whole numbers.
    static qint64 numberOf(const QString& text);

private:
    Database& m_db;
    bool m_duplicate = false;
    bool m_changedElsewhere = false;
};

} // namespace k27
