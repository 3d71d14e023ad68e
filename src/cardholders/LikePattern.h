#pragma once

#include <QChar>
#include <QString>
#include <QStringView>
#include <QVector>
#include <utility>

namespace k27 {

// The like-comparison of the search fields: "*" any run of characters, "?" any one
// character, "#" any one digit, "[...]" one character of a set ("[!...]" not of it,
// "a-z" ranges). Case-sensitive; the whole text must match.
//
// A search compiles its pattern once and then tries it on every row.
class LikePattern
{
public:
    explicit LikePattern(const QString& pattern);

    bool matches(const QString& text) const { return matches(QStringView(text)); }
    bool matches(QStringView text) const;
    // True when every text matches ("*" alone, or nothing but "*").
    bool matchesEverything() const { return m_tokens.size() == 1 && m_tokens.first().kind == Token::AnyRun; }
    // "*literal*": the literal a text must contain to match; null for any other pattern.
    QStringView substring() const { return m_substring ? QStringView(m_literal) : QStringView(); }

private:
    struct Token
    {
        enum Kind { Literal, AnyRun, AnyOne, Digit, Set } kind;
        QChar ch;
        bool negated = false;
        QVector<std::pair<QChar, QChar>> ranges;

        bool matches(QChar c) const;
    };

    QVector<Token> m_tokens;
    int m_minimumLength = 0; // characters a matching text has at least (tokens other than "*")
    // "*literal*", the usual search, is a plain substring test on this literal.
    bool m_substring = false;
    QString m_literal;
};

// One text against one pattern (compiles the pattern each time).
bool likeMatch(const QString& text, const QString& pattern);

} // namespace k27
