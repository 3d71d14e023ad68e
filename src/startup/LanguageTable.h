#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

namespace k27 {

struct ImportQuestion;

// The texts of the chosen language: 501 messages (numbers 0..500) and the caption list
// of (control name, text) pairs in file order.
class LanguageTable
{
public:
    static constexpr int MessageCount = 501;
    using Caption = std::pair<QString, QString>;

    LanguageTable();

    QString message(int number) const;
    void setMessage(int number, const QString& text);
    const QList<Caption>& captions() const { return m_captions; }

    // Merges a language file into the table. Messages the file names overwrite the old ones;
    // a file with caption lines replaces the caption list. A missing or unreadable file leaves
    // the table as it was and returns false. `pump` runs between lines so the interface stays alive.
    bool loadFile(const QString& path, const std::function<void()>& pump = {});
    void loadText(const QString& text, const std::function<void()>& pump = {});

    // Language files are UTF-8 (a BOM is allowed); anything that is not valid UTF-8 is read as
    // GB18030, the code page of existing Chinese installations.
    static QString decode(const QByteArray& bytes);

    // res/Smp_Chs.lag, res/big_Chs.lag, res/English.lag for language field 0, 1, 2.
    static QString fileName(int language);

private:
    QStringList m_messages;
    QList<Caption> m_captions;
};

// The closing messages of an import (113, the number imported, 114, the number skipped, 115)
// and of a deletion (117, the number deleted, 118), joined without separators.
// `stopped`: the run ended early because the database could not be written (message 150
// on a line of its own).
// `formulasWithoutValue`: formula cells of the workbook saved without a result (imported
// empty); a line of its own says how many.
// `writeFailed` adds message 150, `stoppedOnRequest` (a close stopped the run) message 204.
QString importSummary(const LanguageTable& language, int imported, int skipped, bool writeFailed = false,
                      qint64 formulasWithoutValue = 0, bool stoppedOnRequest = false);
// The duplicate question of an import: message `start` (123 cardholder, 122 terminal), the
// row, 124, and the changes an overwrite would make under the captions `captions`.
ImportQuestion overwriteQuestion(const LanguageTable& language, int start, const QList<int>& captions);
QString deletionSummary(const LanguageTable& language, int deleted, bool writeFailed = false,
                        bool stoppedOnRequest = false);
// The question before a deletion: message `question` (61, or 70 for operators), the number of
// rows that will go (143) and, when only one goes, its name (144), each on a line of its own.
QString deletionQuestion(const LanguageTable& language, int question, int count, const QString& name = {});

} // namespace k27
