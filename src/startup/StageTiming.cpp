#include "startup/StageTiming.h"

#include "db/Database.h"
#include "platform/ProcessMemory.h"
#include "platform/ProcessSafety.h"

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>

namespace k27 {

namespace {

class FirstPaint final : public QObject
{
public:
    FirstPaint(QWidget* widget, std::function<void()> then) : QObject(widget), m_widget(widget), m_then(std::move(then))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // Queued behind the paint and whatever the showing queued before it.
            QTimer::singleShot(0, m_widget, m_then);
            m_widget->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QWidget* m_widget;
    std::function<void()> m_then;
    bool m_seen = false;
};

} // namespace

StageTiming StageTiming::fromEnvironment()
{
    StageTiming timing;
    QByteArray password = qgetenv("K27CENTER_BENCH_PASSWORD");
    qunsetenv("K27CENTER_BENCH_PASSWORD");
    timing.m_enabled = qEnvironmentVariableIsSet("K27CENTER_BENCH_STAGES");
    if (timing.m_enabled) {
        timing.m_operator = qEnvironmentVariable("K27CENTER_BENCH_OPERATOR");
        timing.m_password = QString::fromLocal8Bit(password);
        timing.m_signsIn = !timing.m_password.isEmpty();
    }
    wipe(password);
    return timing;
}

void StageTiming::mark(const char* stage, const QByteArray& more) const
{
    if (!m_enabled)
        return;
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
    std::fprintf(stderr, "k27center-stage %s %lld keys=%d rss=%lld%s%s\n", stage, ns, Database::keyDerivations(),
                 residentKb(), more.isEmpty() ? "" : " ", more.constData());
    std::fflush(stderr);
}

void StageTiming::afterFirstPaint(QWidget* widget, std::function<void()> then) const
{
    if (m_enabled)
        new FirstPaint(widget, std::move(then));
}

void StageTiming::signInWhenOpened(QDialog* dialog, int openedWidth)
{
    if (!signsIn())
        return;
    auto* poll = new QTimer(dialog);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    // The operator types once the opening animation has played.
    QObject::connect(poll, &QTimer::timeout, dialog, [this, dialog, openedWidth, poll, waited] {
        if (dialog->width() < openedWidth && waited->elapsed() < 3000)
            return;
        poll->stop();
        poll->deleteLater();
        auto* names = dialog->findChild<QComboBox*>(QStringLiteral("Combo1"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"));
        const int index = m_operator.isEmpty() || !names ? 0 : names->findText(m_operator);
        if (!names || !password || !ok || index < 0) {
            mark("sign-in-impossible");
            wipe(m_password);
            dialog->reject();
            return;
        }
        names->setCurrentIndex(index);
        password->setText(m_password);
        wipe(m_password);
        mark("sign-in-clicked");
        ok->click();
    });
    poll->start(10);
}

} // namespace k27
