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
    static const QRegularExpression pattern(QStringLiteral(R"(^ *[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)? *$)"));
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    const double v = trimSpaces(text).toDouble(&ok);
    if (!ok)
        return false;
    *value = v;
    return true;
}

QList<QStringView> splitLines(const QString& text, int* breaks)
{
    QList<QStringView> lines;
    int count = 0;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        lines.append(QStringView(text).mid(pos, end - pos));
        pos = end;
        if (pos < size) {
            ++count;
            pos += (text[pos] == u'\r' && pos + 1 < size && text[pos + 1] == u'\n') ? 2 : 1;
        }
    }
    if (breaks)
        *breaks = count;
    return lines;
}

double leadingNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^ *([+-]?(\d+\.?\d*|\.\d+)))"));
    const auto match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

} // namespace k27
