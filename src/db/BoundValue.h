#pragma once

#include <QVariant>

namespace k27 {

// How a statement's value is bound, the same on both engines: booleans and every integer as
// 64-bit integers, bytes as a blob, anything else as its UTF-8 text.
enum class BoundKind { Null, Integer, Real, Bytes, Text };

inline BoundKind boundKind(const QVariant& v)
{
    if (v.isNull())
        return BoundKind::Null;
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return BoundKind::Integer;
    case QMetaType::Double: return BoundKind::Real;
    case QMetaType::QByteArray: return BoundKind::Bytes;
    default: return BoundKind::Text;
    }
}

} // namespace k27
