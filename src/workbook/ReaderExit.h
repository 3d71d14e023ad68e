#pragma once

#include "Sheet.h"

namespace k27::wb {

// How the reader process ends: the tool returns these and the program reads them back, so
// both sides take them from here.
namespace ReaderExit {
enum : int { Done = 0, Usage = 2, Damaged = 3, NoSheet1 = 4, NotWorkbook = 5, TooLarge = 6, CannotRead = 7 };
}

// The exit code for a read's outcome.
inline int readerExitFor(ReadError e)
{
    switch (e) {
    case ReadError::None: return ReaderExit::Done;
    case ReadError::Damaged: return ReaderExit::Damaged;
    case ReadError::NotWorkbook: return ReaderExit::NotWorkbook;
    case ReadError::NoSheet1: return ReaderExit::NoSheet1;
    case ReadError::TooLarge: return ReaderExit::TooLarge;
    }
    return ReaderExit::Damaged;
}

} // namespace k27::wb
