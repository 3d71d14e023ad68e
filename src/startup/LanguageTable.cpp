#include "LanguageTable.h"

#include "db/ImportEngine.h"
#include "startup/Messages.h"
#include "startup/TextUtil.h"

#include <QFile>
#include <QStringDecoder>
#include <cmath>

namespace k27 {

LanguageTable::LanguageTable()
{
    m_messages.resize(MessageCount);
}

QString LanguageTable::message(int number) const
{
    return (number >= 0 && number < MessageCount) ? m_messages.at(number) : QString();
}

void LanguageTable::setMessage(int number, const QString& text)
{
    if (number >= 0 && number < MessageCount)
        m_messages[number] = text;
}

bool LanguageTable::loadFile(const QString& path, const std::function<void()>& pump)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    loadText(decode(bytes), pump);
    return true;
}

void LanguageTable::loadText(const QString& text, const std::function<void()>& pump)
{
    QList<Caption> captions;
    for (const QStringView line : splitLines(text)) {
        const qsizetype slash = line.indexOf(u'/');
        if (slash >= 0) {
            const QString key = line.left(slash).toString();
            const QString value = line.mid(slash + 1).toString();
            double number = 0;
            if (parseNumber(key, &number)) {
                const double n = std::nearbyint(number);
                if (n >= 0 && n < MessageCount)
                    m_messages[int(n)] = value;
            } else {
                captions.append({key, value});
            }
        }
        if (pump)
            pump();
    }
    if (!captions.isEmpty())
        m_captions = std::move(captions);
}

QString LanguageTable::decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    QStringDecoder gb("GB18030"); // through ICU
    if (gb.isValid())
        return gb.decode(bytes);
    return QString::fromLocal8Bit(bytes);
}

QString LanguageTable::fileName(int language)
{
    switch (language) {
    case 1: return QStringLiteral("big_Chs.lag");
    case 2: return QStringLiteral("English.lag");
    default: return QStringLiteral("Smp_Chs.lag");
    }
}

static QString withStopNote(const LanguageTable& language, QString summary, bool writeFailed, bool stoppedOnRequest)
{
    if (writeFailed)
        summary += u'\n' + language.message(Msg::WriteStopped);
    else if (stoppedOnRequest)
        summary += u'\n' + language.message(Msg::StoppedOnRequest);
    return summary;
}

ImportQuestion overwriteQuestion(const LanguageTable& language, int start, const QList<int>& captions)
{
    ImportQuestion question{
        language.message(start),           language.message(Msg::OverwriteEnd), language.message(Msg::OverwriteChanges),
        language.message(Msg::EmptyValue), language.message(Msg::RowUnchanged), {}};
    for (int caption : captions)
        question.captions << language.message(caption);
    return question;
}

QString importSummary(const LanguageTable& language, int imported, int skipped, bool writeFailed,
                      qint64 formulasWithoutValue, bool stoppedOnRequest)
{
    QString summary = language.message(Msg::ImportFinishedStart) + QString::number(imported)
                      + language.message(Msg::ImportedCount) + QString::number(skipped)
                      + language.message(Msg::SkippedCount);
    if (formulasWithoutValue > 0)
        summary += u'\n' + language.message(Msg::FormulasWithoutValue) + QString::number(formulasWithoutValue);
    return withStopNote(language, summary, writeFailed, stoppedOnRequest);
}

QString deletionSummary(const LanguageTable& language, int deleted, bool writeFailed, bool stoppedOnRequest)
{
    return withStopNote(
        language, language.message(Msg::DeletedStart) + QString::number(deleted) + language.message(Msg::DeletedEnd),
        writeFailed, stoppedOnRequest);
}

QString deletionQuestion(const LanguageTable& language, int question, int count, const QString& name)
{
    QString text = language.message(question) + u'\n' + language.message(Msg::RowsToDelete) + QString::number(count);
    if (count == 1 && !name.trimmed().isEmpty())
        text += u'\n' + language.message(Msg::OneToDelete) + name.trimmed();
    return text;
}

} // namespace k27
