// The search fields take any text as a pattern. The matcher is checked against a plain
// reference that follows the rules word for word (every pair of positions tried, no shortcuts).
// Input: the text, a NUL byte, the pattern.
#include "cardholders/LikePattern.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

struct Element
{
    enum Kind { Char, Run, One, Digit, Set } kind = Char;
    QChar ch;
    bool negated = false;
    QString members; // pairs: from, to
};

// "*" any run, "?" any one, "#" one digit 0-9, "[set]" / "[!set]" with a-z ranges; an unclosed
// "[" is an ordinary character.
QVector<Element> elements(const QString& pattern)
{
    QVector<Element> out;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        Element e;
        if (c == u'*')
            e.kind = Element::Run;
        else if (c == u'?')
            e.kind = Element::One;
        else if (c == u'#')
            e.kind = Element::Digit;
        else if (c == u'[' && pattern.indexOf(u']', i + 1) >= 0) {
            const int close = int(pattern.indexOf(u']', i + 1));
            QString body = pattern.mid(i + 1, close - i - 1);
            e.kind = Element::Set;
            if (body.startsWith(u'!')) {
                e.negated = true;
                body.remove(0, 1);
            }
            for (int j = 0; j < body.size(); ++j) {
                if (j + 2 < body.size() && body[j + 1] == u'-') {
                    e.members += body[j];
                    e.members += body[j + 2];
                    j += 2;
                } else {
                    e.members += body[j];
                    e.members += body[j];
                }
            }
            i = close;
        } else {
            e.ch = c;
        }
        out.append(e);
    }
    return out;
}

bool matchesOne(const Element& e, QChar c)
{
    switch (e.kind) {
    case Element::Char: return c == e.ch;
    case Element::One: return true;
    case Element::Digit: return c >= u'0' && c <= u'9';
    case Element::Set: {
        bool in = false;
        for (int k = 0; k + 1 < e.members.size(); k += 2)
            in = in || (c >= e.members[k] && c <= e.members[k + 1]);
        return in != e.negated;
    }
    case Element::Run: break;
    }
    return false;
}

bool reference(const QString& text, const QString& pattern)
{
    const QVector<Element> p = elements(pattern);
    const int n = int(text.size()), m = int(p.size());
    // can[i][j]: text from i matches pattern elements from j.
    std::vector<std::vector<char>> can(size_t(n) + 1, std::vector<char>(size_t(m) + 1, 0));
    can[size_t(n)][size_t(m)] = 1;
    for (int j = m - 1; j >= 0; --j) {
        for (int i = n; i >= 0; --i) {
            const Element& e = p[j];
            bool ok;
            if (e.kind == Element::Run)
                ok = can[size_t(i)][size_t(j) + 1] || (i < n && can[size_t(i) + 1][size_t(j)]);
            else
                ok = i < n && matchesOne(e, text[i]) && can[size_t(i) + 1][size_t(j) + 1];
            can[size_t(i)][size_t(j)] = ok;
        }
    }
    return can[0][0];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 512)
        return 0; // the reference is quadratic
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nul = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    const QString pattern = nul < 0 ? QString() : QString::fromUtf8(bytes.mid(nul + 1));
    const bool expected = reference(text, pattern);
    if (k27::likeMatch(text, pattern) != expected)
        std::abort();
    // The compiled form a search uses for every row, tried twice on the same pattern.
    const k27::LikePattern compiled(pattern);
    if (compiled.matches(text) != expected || compiled.matches(text) != expected)
        std::abort();
    // The search fields' own form: the typed text between two "*".
    const QString field = QStringLiteral("*") + pattern + QStringLiteral("*");
    if (k27::likeMatch(text, field) != reference(text, field))
        std::abort();
    return 0;
}
