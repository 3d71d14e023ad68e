// One desk of the two-desk test: the program's stores against the register named on the
// command line, `count` interleaved steps in groups of four (an add, a change, a card issue,
// import rows), each group about a holder that the other desk works on at the same time.
// With "records FILE" in place of the count it imports that record file instead.
// Prints what the steps came to as "name number" lines for the test to add up.
#include "cardholders/CardholderImport.h"
#include "cardholders/CardholderStore.h"
#include "db/Database.h"
#include "db/DatabaseSession.h"
#include "issuing/ApplyIssuedCard.h"
#include "records/RecordImport.h"
#include "records/RecordRows.h"
#include "startup/LanguageTable.h"
#include "workbook/Workbook.h"

#include <QCoreApplication>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

using namespace k27;

namespace {

CardholderFields holder(const QString& name, const QString& department = QStringLiteral("d"))
{
    return {name, QStringLiteral("男"), department, QStringLiteral("p"), QStringLiteral("a"), QStringLiteral("1")};
}

QStringList sheetRow(const QString& name)
{
    return {name,
            QStringLiteral("男"),
            QStringLiteral("d"),
            QStringLiteral("p"),
            QStringLiteral("a"),
            QStringLiteral("1"),
            QString(),
            QString(),
            QString()};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return 2;
    if (args[2] == QLatin1String("records")) {
        Database db;
        if (!db.open(args[1]))
            return 1;
        RecordRows rows;
        const RecordImport::Result result = RecordImport::run(db, args[3], rows, nullptr);
        std::printf("records_added %d\nrecords_skipped %d\nfailed %d\n", result.added, result.skipped,
                    result.writeFailed ? 1 : 0);
        return 0;
    }
    const QString desk = args[2];
    const int count = args[3].toInt();
    QTemporaryDir photos;
    DatabaseSession session(args[1]);
    CardholderStore store(session, photos.path());
    LanguageTable language;
    const TerminalTexts none{};
    QMap<QString, int> counts;
    qint64 id = 0; // the group's shared holder
    for (int i = 0; i < count; ++i) {
        const int group = i / 4;
        const QString shared = QStringLiteral("S%1").arg(group);
        switch (i % 4) {
        case 0: {
            // Both desks add the same holder: the register keeps one.
            const int outcome = store.insert(holder(shared));
            ++counts[outcome == CardholderStore::Done        ? QStringLiteral("shared_added")
                     : outcome == CardholderStore::Duplicate ? QStringLiteral("shared_duplicate")
                                                             : QStringLiteral("failed_add")];
            const auto reading = store.read(CardholderStore::Key{shared, QStringLiteral("1")});
            id = reading ? reading->id : 0;
            ++counts[store.insert(holder(desk + QString::number(i))) == CardholderStore::Done
                         ? QStringLiteral("own_added")
                         : QStringLiteral("failed_add")];
            break;
        }
        case 1: {
            // A rename frees the key: it waits until the other desk has added (or been refused)
            // the group's holder, which it does before its own row of the group.
            const QString otherOwn = (desk == QLatin1String("A") ? QStringLiteral("B") : QStringLiteral("A"))
                                     + QString::number(i - 1);
            for (int wait = 0; wait < 20000 && !store.read(CardholderStore::Key{otherOwn, QStringLiteral("1")}); ++wait)
                QThread::msleep(1);
            // Both rename it from what they read; a refusal reads it again.
            for (int attempt = 0; attempt < 50; ++attempt) {
                const auto reading = store.read(id);
                if (!reading)
                    break;
                const CardholderStore::Key key{reading->columns.value(0), reading->columns.value(5)};
                const int outcome = store.update(key, holder(QStringLiteral("R%1").arg(group), desk), {}, &*reading);
                if (outcome == CardholderStore::ChangedElsewhere) {
                    ++counts[QStringLiteral("changed_elsewhere")];
                    continue;
                }
                ++counts[outcome == CardholderStore::Done ? QStringLiteral("changed")
                                                          : QStringLiteral("failed_change")];
                break;
            }
            break;
        }
        case 2: {
            // The card goes to the row whatever it is called by now.
            Database* db = session.window();
            const ApplyOutcome outcome = db ? ApplyIssuedCard(*db, shared, QStringLiteral("1"),
                                                              QString::number(100000 + group), false, none, none, id)
                                            : ApplyOutcome::Failed;
            ++counts[outcome == ApplyOutcome::Written ? QStringLiteral("issued") : QStringLiteral("failed_issue")];
            break;
        }
        case 3: {
            // Both import the same three lines, and one of their own; a known line is kept.
            Workbook sheet{9, {}, 0};
            for (int line = 0; line < 3; ++line)
                sheet.rows << sheetRow(QStringLiteral("I%1-%2").arg(group).arg(line));
            sheet.rows << sheetRow(QStringLiteral("J%1%2").arg(desk).arg(i));
            Database* db = session.runs();
            if (!db) {
                ++counts[QStringLiteral("failed")];
                break;
            }
            CardholderImport import(*db, language);
            import.setAsk([](const QString&) { return int(DuplicateAnswer::Skip);
        });
            const ImportEngine::Result result = import.run(sheet);
            counts[QStringLiteral("import_added")] += result.counts.added;
            counts[QStringLiteral("import_skipped")] += result.counts.skipped;
            counts[QStringLiteral("failed_import")] += result.counts.refused + (result.writeFailed ? 1 : 0);
            break;
        }
    }
}
for (auto it = counts.cbegin(); it != counts.cend(); ++it)
    std::printf("%s %d\n", qPrintable(it.key()), it.value());
return 0;
}
