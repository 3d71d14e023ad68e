#include "LikePattern.h"

namespace k27 {

bool LikePattern::Token::matches(QChar c) const
{
    switch (kind) {
    case Literal: return c == ch;
    case AnyOne: return true;
    case Digit: return c >= u'0' && c <= u'9';
    case Set: {
        bool in = false;
        for (const auto& r : ranges)
            if (c >= r.first && c <= r.second) {
                in = true;
                break;
            }
        return in != negated;
    }
    case AnyRun: return true;
    }
    return false;
}

LikePattern::LikePattern(const QString& pattern)
{
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'*') {
            if (m_tokens.isEmpty() || m_tokens.last().kind != Token::AnyRun)
                m_tokens.append(Token{Token::AnyRun, {}, false, {}});
        } else if (c == u'?') {
            m_tokens.append(Token{Token::AnyOne, {}, false, {}});
        } else if (c == u'#') {
            m_tokens.append(Token{Token::Digit, {}, false, {}});
        } else if (c == u'[') {
            const int close = pattern.indexOf(u']', i + 1);
            if (close < 0) { // an unclosed bracket is taken literally
                m_tokens.append(Token{Token::Literal, c, false, {}});
                continue;
            }
            Token set{Token::Set, {}, false, {}};
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
            m_tokens.append(set);
            i = close;
        } else {
            m_tokens.append(Token{Token::Literal, c, false, {}});
        }
    }
    for (const Token& token : std::as_const(m_tokens))
        if (token.kind != Token::AnyRun)
            ++m_minimumLength;
    if (m_tokens.size() >= 2 && m_tokens.first().kind == Token::AnyRun && m_tokens.last().kind == Token::AnyRun) {
        m_substring = true;
        for (qsizetype i = 1; i + 1 < m_tokens.size() && m_substring; ++i) {
            m_substring = m_tokens[i].kind == Token::Literal;
            m_literal.append(m_tokens[i].ch);
        }
        if (!m_substring)
            m_literal.clear();
    }
}

bool LikePattern::matches(QStringView text) const
{
    // Every token but "*" takes one character: a shorter text cannot match.
    if (text.size() < m_minimumLength)
        return false;
    if (m_substring)
        return text.contains(QStringView(m_literal));
    // Greedy match with backtracking to the last "*" (linear for the patterns we build).
    const QVector<Token>& tokens = m_tokens;
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

bool likeMatch(const QString& text, const QString& pattern)
{
    return LikePattern(pattern).matches(text);
}

} // namespace k27
