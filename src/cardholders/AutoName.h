#pragma once

#include <QDateTime>
#include <QString>

namespace k27 {

// The name of a cardholder added without one: a 12-digit counter for the run, seeded at
// its first use from the clock as 8, month, day, hour, minute, second and a final 0.
class AutoName
{
public:
    // Advances the counter and returns it with 12 digits (812061121051 for a first use
    // on 6 December at 11:21:05).
    QString NextAutoName(const QDateTime& now = QDateTime::currentDateTime());
    qint64 counter() const { return m_counter; }

private:
    qint64 m_counter = 0;
};

} // namespace k27
