#include "WorkbookReader.h"

#include "workbook/AnswerDecoder.h"
#include "workbook/ReaderExit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace k27 {

WorkbookReader::WorkbookReader() : m_toolPath(defaultToolPath()) {}

WorkbookReader::WorkbookReader(QString toolPath) : m_toolPath(std::move(toolPath)) {}

QString WorkbookReader::defaultToolPath()
{
    // Beside the program in a build folder; under libexec once installed.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/k27-xls-read");
    const QString installed = QCoreApplication::applicationDirPath()
                              + QStringLiteral("/../libexec/k27center/k27-xls-read");
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : QDir::cleanPath(installed);
}

int WorkbookReader::messageFor(Status status)
{
    switch (status) {
    case Status::Damaged: return 155;
    case Status::NotWorkbook: return 156;
    case Status::NoSheet1: return 157;
    case Status::TooLarge: return 158;
    default: return 140;
    }
}

namespace {

// Why an answer that did not end well is unusable.
QString answerProblem(const AnswerDecoder& decoder)
{
    return decoder.state() == AnswerDecoder::State::Reading ? QStringLiteral("the answer is cut short")
                                                            : decoder.problem();
}

} // namespace

bool WorkbookReader::parse(const QByteArray& output, Workbook* sheet, QString* problem)
{
    AnswerDecoder decoder;
    decoder.feed(output);
    if (decoder.state() != AnswerDecoder::State::Done) {
        if (problem)
            *problem = answerProblem(decoder);
        return false;
    }
    *sheet = std::move(decoder.workbook());
    return true;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define K27_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(K27_ADDRESS_SANITIZER)
// A reader built with AddressSanitizer maps terabytes of shadow memory at start: under an
// address-space limit it could not even start. The sanitizer catches what the limit guards against.
static constexpr bool LimitAddressSpace = false;
#else
static constexpr bool LimitAddressSpace = true;
#endif

void WorkbookReader::letWindowsDraw()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

namespace {

// The reader's limits, set in the child between fork and exec: only async-signal-safe calls.
void limitReader(QProcess& process, rlim_t memory, rlim_t cpuSeconds)
{
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([memory, cpuSeconds, parent] {
        // The reader ends with the program, however the program ends (a kill included); a
        // program gone before this line leaves it to another parent, so it ends at once.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        if (LimitAddressSpace) {
            const rlimit as{memory, memory};
            setrlimit(RLIMIT_AS, &as);
        }
        const rlimit cpu{cpuSeconds, cpuSeconds};
        setrlimit(RLIMIT_CPU, &cpu);
        const rlimit core{0, 0};
        setrlimit(RLIMIT_CORE, &core);
    });
}

// Decodes rows as they come, pumping the window meanwhile; a bad or oversized answer stops the
// reading at once. False when the deadline passed first.
bool receive(QProcess& process, AnswerDecoder& decoder, const QDeadlineTimer& deadline,
             const std::function<void()>& pump)
{
    QElapsedTimer sincePump;
    sincePump.start();
    const auto wait = [&] {
        const qint64 left = qMax<qint64>(0, deadline.remainingTime());
        return int(pump ? qMin<qint64>(left, WorkbookReader::PumpIntervalMs) : left);
    };
    while (decoder.state() == AnswerDecoder::State::Reading) {
        if (pump && sincePump.elapsed() >= WorkbookReader::PumpIntervalMs) {
            pump();
            sincePump.restart();
        }
        if (process.bytesAvailable() == 0 && !process.waitForReadyRead(wait())) {
            if (process.state() == QProcess::NotRunning) {
                decoder.feed(process.readAllStandardOutput());
                break;
            }
            if (deadline.hasExpired())
                return false;
            continue;
        }
        decoder.feed(process.readAllStandardOutput());
    }
    return true;
}

// A reader still running after its answer gets until the deadline to end; one that is not
// done (or whose answer was refused) is killed.
void stopReader(QProcess& process, const AnswerDecoder& decoder, const QDeadlineTimer& deadline)
{
    if (process.state() == QProcess::NotRunning)
        return;
    if (decoder.state() == AnswerDecoder::State::Done)
        process.waitForFinished(int(qMax<qint64>(0, deadline.remainingTime())));
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
}

// What the reader's exit codes other than Done say.
struct ExitMeaning
{
    int code;
    WorkbookReader::Status status;
    const char* detail;
};
constexpr ExitMeaning ExitMeanings[] = {
    {wb::ReaderExit::Damaged, WorkbookReader::Status::Damaged, "the workbook is damaged"},
    {wb::ReaderExit::NoSheet1, WorkbookReader::Status::NoSheet1, "the workbook has no sheet Sheet1"},
    {wb::ReaderExit::NotWorkbook, WorkbookReader::Status::NotWorkbook, "the file is not a workbook or cannot be read"},
    {wb::ReaderExit::CannotRead, WorkbookReader::Status::NotWorkbook, "the file is not a workbook or cannot be read"},
    {wb::ReaderExit::TooLarge, WorkbookReader::Status::TooLarge, "the workbook is beyond the reader's limits"},
};

// The outcome of a reader that ended normally: its exit code, then its answer.
WorkbookReader::Result outcome(int exitCode, AnswerDecoder& decoder)
{
    WorkbookReader::Result result;
    if (exitCode != wb::ReaderExit::Done) {
        result.detail = QStringLiteral("the reader failed with exit code %1").arg(exitCode);
        for (const ExitMeaning& meaning : ExitMeanings) {
            if (meaning.code == exitCode) {
                result.status = meaning.status;
                result.detail = QString::fromLatin1(meaning.detail);
            }
        }
        return result;
    }
    if (decoder.state() != AnswerDecoder::State::Done) {
        result.detail = answerProblem(decoder);
        return result;
    }
    Workbook sheet = std::move(decoder.workbook());
    // The first row holds the column headings.
    if (!sheet.rows.isEmpty())
        sheet.rows.removeFirst();
    result.status = WorkbookReader::Status::Ok;
    result.workbook = std::move(sheet);
    return result;
}

} // namespace

WorkbookReader::Result WorkbookReader::read(const QString& file) const
{
    Result result;
    if (!QFileInfo(m_toolPath).isExecutable()) {
        result.detail = QStringLiteral("the reader %1 is missing").arg(m_toolPath);
        return result;
    }
    QProcess process;
    process.setProgram(m_toolPath);
    process.setArguments({file});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    limitReader(process, rlim_t(m_memoryBytes), rlim_t(m_timeoutMs / 1000 + 1));
    process.start(QIODevice::ReadOnly);
    QDeadlineTimer deadline(m_timeoutMs);
    if (!process.waitForStarted(int(deadline.remainingTime()))) {
        result.detail = QStringLiteral("the reader does not start: %1").arg(process.errorString());
        return result;
    }

    AnswerDecoder decoder(m_columnsKept);
    const bool inTime = receive(process, decoder, deadline, m_pump);
    stopReader(process, decoder, deadline);
    if (!inTime) {
        result.detail = QStringLiteral("the reader did not finish in time");
        return result;
    }
    if (decoder.state() == AnswerDecoder::State::OutOfBounds) {
        result.status = Status::TooLarge;
        result.detail = decoder.problem();
        return result;
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        result.detail = QStringLiteral("the reader crashed or was stopped");
        return result;
    }
    return outcome(process.exitCode(), decoder);
}

} // namespace k27
