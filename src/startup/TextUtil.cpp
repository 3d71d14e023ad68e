#include "TextUtil.h"

#include <QRegularExpression>

namespace k27 {

QString trimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString trimRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u' ')
        --end;
    return text.left(end);
}

QString TrimAtNul(const QString& text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return trimSpaces(nul < 0 ? text : text.left(nul));
}

bool parseNumber(const QString& text, double* value)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^ *[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)? *$)"));
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = trimSpaces(text).toDouble(&ok);
    if (!ok)
        return false;
    *value = v;
    return true;
}

double leadingNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^ *([+-]?(\d+\.?\d*|\.\d+)))"));
    const auto match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

} // namespace k27
