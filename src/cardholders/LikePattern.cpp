#include "LikePattern.h"

#include <QVector>

namespace k27 {

namespace {

// One parsed element of a pattern.
struct Token {
    enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind;
    QChar ch;
    bool negated = false;
    QVector<std::pair<QChar, QChar>> ranges{};

    bool matches(QChar c) const
    {
        switch (kind) {
        case Literal: return c == ch;
        case AnyOne: return true;
        case Digit: return c >= u'0' && c <= u'9';
        case Set: {
            bool in = false;
            for (const auto& r : ranges)
                if (c >= r.first && c <= r.second) { in = true; break; }
            return in != negated;
        }
        case AnyRun: return true;
        }
        return false;
    }
};

QVector<Token> parse(const QString& pattern)
{
    QVector<Token> tokens;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'*') {
            if (tokens.isEmpty() || tokens.last().kind != Token::AnyRun)
                tokens.append(Token{Token::AnyRun, {}});
        } else if (c == u'?') {
            tokens.append(Token{Token::AnyOne, {}});
        } else if (c == u'#') {
            tokens.append(Token{Token::Digit, {}});
        } else if (c == u'[') {
            const int close = pattern.indexOf(u']', i + 1);
            if (close < 0) {            // an unclosed bracket is taken literally
                tokens.append(Token{Token::Literal, c});
                continue;
            }
            Token set{Token::Set, {}};
            int j = i + 1;
            if (j < close && pattern.at(j) == u'!') {
                set.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                QChar from = pattern.at(j);
                if (j + 2 < close && pattern.at(j + 1) == u'-') {
                    set.ranges.append({from, pattern.at(j + 2)});
                    j += 2;
                } else {
                    set.ranges.append({from, from});
                }
            }
            tokens.append(set);
            i = close;
        } else {
            tokens.append(Token{Token::Literal, c});
        }
    }
    return tokens;
}

} // namespace

bool likeMatch(const QString& text, const QString& pattern)
{
    const QVector<Token> tokens = parse(pattern);
    // Greedy match with backtracking to the last "*" (linear for the patterns we build).
    int t = 0, p = 0;
    int starToken = -1, starText = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == Token::AnyRun) {
            starToken = p++;
            starText = t;
        } else if (p < tokens.size() && tokens[p].matches(text.at(t))) {
            ++p;
            ++t;
        } else if (starToken >= 0) {
            p = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == Token::AnyRun)
        ++p;
    return p == tokens.size();
}

} // namespace k27
