#pragma once

#include "issuing/CardFrame.h"

#include <QByteArray>

// Frames laid out byte by byte as the device expects them, independent of the
// program's own frame building.
namespace k27::test {

inline QByteArray emptyFrame()
{
    namespace CF = k27::CardFrame;
    QByteArray f(CF::FrameLength, char(0xFF));
    f[0] = char(CF::CommandByte);
    f[1] = char(CF::RangeBase);
    f[60] = char(0x2E);
    f[61] = char(0x2F);
    return f;
}

inline void setBlock(QByteArray& f, int offset, const QByteArray& six)
{
    f.replace(offset, 6, six);
}

inline QByteArray withChecksum(QByteArray f)
{
    quint8 x = 0;
    for (int k = 0; k < 110; ++k)
        x ^= quint8(f[k]);
    f[110] = char(x);
    return f;
}

inline quint8 siteXor()
{
    quint8 x = 0;
    for (quint8 b : k27::CardFrame::SiteCardCode)
        x ^= b;
    return x;
}

// New card, range 0, terminals 1 and 3, December 2026, identification code 0.
inline QByteArray newCardExample()
{
    QByteArray f = emptyFrame();
    setBlock(f, 8, k27::CardFrame::siteCardCode());
    f[14] = 0x00;
    f[16] = 0x02;
    f[62] = char(0xCA);
    f[64] = char(0xCA);
    f[108] = 0x12;
    f[109] = 0x00;
    return withChecksum(f);
}

// Restore, range 2 (terminals 93-138).
inline QByteArray restoreExample()
{
    QByteArray f = emptyFrame();
    f[1] = 0x0A;
    setBlock(f, 2, k27::CardFrame::siteCardCode());
    for (int i = 0; i < 46; ++i)
        f[14 + i] = char(i);
    f[108] = char(0xFF);
    f[109] = char(0xFF);
    return withChecksum(f);
}

// Temporary or renewal card on terminal 5 with one validity byte.
inline QByteArray sharedBlocksExample(quint8 validity, quint8 day)
{
    QByteArray f = emptyFrame();
    setBlock(f, 2, k27::CardFrame::siteCardCode());
    setBlock(f, 8, k27::CardFrame::siteCardCode());
    f[14 + 4] = 0x04;
    f[62 + 4] = char(validity);
    f[108] = 0x12;
    f[109] = char(day);
    return withChecksum(f);
}

} // namespace k27::test
