// Language files come from the installation folder and may be edited by hand: any bytes must
// load without harm, and loading is a plain merge (a second load of the same file changes nothing).
#include "startup/LanguageTable.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

using k27::LanguageTable;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = LanguageTable::decode(bytes);

    LanguageTable once;
    once.loadText(text);
    LanguageTable twice = once;
    twice.loadText(text);
    for (int n = 0; n < LanguageTable::MessageCount; ++n) {
        if (once.message(n) != twice.message(n))
            std::abort();
    }
    if (once.captions() != twice.captions())
        std::abort();
    if (!once.message(-1).isNull() || !once.message(LanguageTable::MessageCount).isNull())
        std::abort();
    // A caption's key is the text before the first "/" of its line.
    for (const auto& caption : once.captions()) {
        if (caption.first.contains(u'/') || caption.first.contains(u'\n') || caption.first.contains(u'\r'))
            std::abort();
    }
    // Messages and captions never span lines.
    for (int n = 0; n < LanguageTable::MessageCount; ++n) {
        if (once.message(n).contains(u'\n') || once.message(n).contains(u'\r'))
            std::abort();
    }
    return 0;
}
