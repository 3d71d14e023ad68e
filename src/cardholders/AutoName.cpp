#include "AutoName.h"

namespace k27 {

QString AutoName::NextAutoName(const QDateTime& now)
{
    if (m_counter == 0)
        m_counter = (QStringLiteral("8") + now.toString(QStringLiteral("MMddHHmmss")) + QStringLiteral("0"))
                        .toLongLong();
    ++m_counter;
    return QStringLiteral("%1").arg(m_counter, 12, 10, QLatin1Char('0'));
}

} // namespace k27
