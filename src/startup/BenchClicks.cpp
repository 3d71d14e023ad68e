#include "startup/BenchClicks.h"

#include "platform/Grid.h"
#include "startup/StageTiming.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <utility>

namespace k27 {

namespace {

constexpr int RecordsTab = 3; // the fourth tab, the fourth page
// Between clicks the window goes idle, as between an operator's clicks (the count of a
// result goes on meanwhile, as it would).
constexpr int PauseMs = 150;

QWidget* indexed(QWidget* parent, const QString& name, int index)
{
    for (QWidget* w : parent->findChildren<QWidget*>(name))
        if (w->property("index").toInt() == index)
            return w;
    return nullptr;
}

// A left click in the middle of `w`, as the mouse gives it.
void clickOn(QWidget* w)
{
    const QPointF at = QRectF(w->rect()).center();
    const QPointF global = w->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QCoreApplication::sendEvent(w, &release);
}

// Calls `then` once the next paint of `widget` is on the screen: at the end of the window's
// update that painted it (the whole window painted and shown). Not later: whatever the program
// queues meanwhile, such as the count of the rest of a result, comes after the first screen and
// is no part of its time.
class PaintShown final : public QObject
{
public:
    PaintShown(QWidget* widget, std::function<void()> then)
        : QObject(widget), m_widget(widget), m_window(widget->window()), m_then(std::move(then))
    {
        m_widget->installEventFilter(this);
        m_window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint) {
            m_painted = true;
            // Painted outside an update of the window (a repaint): shown once drawn.
            if (!m_updating) {
                QCoreApplication::sendEvent(watched, event);
                finish();
                return true;
            }
        } else if (watched == m_window && event->type() == QEvent::UpdateRequest && !m_updating) {
            m_updating = true;
            QCoreApplication::sendEvent(watched, event);
            m_updating = false;
            if (m_painted)
                finish();
            return true;
        }
        return false;
    }

private:
    void finish()
    {
        m_widget->removeEventFilter(this);
        m_window->removeEventFilter(this);
        deleteLater();
        std::exchange(m_then, {})();
    }

    QWidget* m_widget;
    QWidget* m_window;
    std::function<void()> m_then;
    bool m_painted = false;
    bool m_updating = false;
};

class ClickRun final : public QObject
{
public:
    ClickRun(const StageTiming& stages, QWidget* window, std::vector<BenchClick> clicks, std::function<void()> done)
        : QObject(window), m_stages(stages), m_clicks(std::move(clicks)), m_done(std::move(done))
    {
        QWidget* page = indexed(window, QStringLiteral("Picture1"), RecordsTab);
        m_tab = indexed(window, QStringLiteral("TabMouse"), RecordsTab);
        if (page) {
            m_find = page->findChild<QPushButton*>(QStringLiteral("BtnFind"));
            m_card = page->findChild<QLineEdit*>(QStringLiteral("TxtCode"));
            for (const char* name : {"TxtCode", "T_Name", "T_Dpt", "T_No"})
                if (auto* field = page->findChild<QLineEdit*>(QLatin1String(name)))
                    m_fields.push_back(field);
            m_span = page->findChild<QCheckBox*>(QStringLiteral("CKD"));
            m_newest = page->findChild<QCheckBox*>(QStringLiteral("CKNum"));
            m_count = page->findChild<QComboBox*>(QStringLiteral("CmbNum"));
            if (auto* grid = page->findChild<Grid*>(QStringLiteral("GridIO")))
                m_viewport = grid->view()->viewport();
        }
    }

    void start()
    {
        if (!m_tab || !m_find || !m_card || m_fields.size() != 4 || !m_span || !m_newest || !m_count || !m_viewport) {
            m_stages.mark("clicks-impossible");
            finish();
            return;
        }
        m_stages.mark("click-records-page");
        clickOn(m_tab);
        new PaintShown(m_viewport, [this] {
            m_stages.mark("painted-records-page", gridShape());
            next();
        });
    }

private:
    // The grid's size, row height and column widths: the bench paints the plain way of showing
    // the same rows in a table of this shape.
    QByteArray gridShape() const
    {
        const auto* view = qobject_cast<const QTableView*>(m_viewport->parentWidget());
        if (!view)
            return {};
        QByteArray widths;
        for (int c = 0; c < view->horizontalHeader()->count(); ++c)
            if (!view->isColumnHidden(c))
                widths += (widths.isEmpty() ? "" : ",") + QByteArray::number(view->columnWidth(c));
        return "view=" + QByteArray::number(view->width()) + 'x' + QByteArray::number(view->height())
               + " row=" + QByteArray::number(view->verticalHeader()->defaultSectionSize())
               + " heads=" + QByteArray::number(int(view->horizontalHeader()->isVisible()))
               + QByteArray::number(int(view->verticalHeader()->isVisible())) + " widths=" + widths;
    }

    void next()
    {
        if (m_step >= int(m_clicks.size()) * BenchClickRepeats) {
            finish();
            return;
        }
        QTimer::singleShot(PauseMs, this, [this] { clickOnce(); });
    }

    void clickOnce()
    {
        const BenchClick& click = m_clicks[size_t(m_step / BenchClickRepeats)];
        for (QLineEdit* field : m_fields)
            field->clear();
        m_span->setChecked(false);
        m_newest->setChecked(click.newest);
        m_count->setCurrentText(QStringLiteral("200"));
        m_card->setText(QString::fromLatin1(click.card));
        const QByteArray name(click.name);
        const QByteArray more = "round=" + QByteArray::number(m_step % BenchClickRepeats + 1)
                                + (*click.card ? " card=" + QByteArray(click.card) : QByteArray());
        m_stages.mark(QByteArray("click-" + name).constData(), more);
        // The query runs within the click; the grid's next paint shows its result.
        m_find->click();
        new PaintShown(m_viewport, [this, name, more] {
            m_stages.mark(QByteArray("painted-" + name).constData(), more);
            ++m_step;
            next();
        });
    }

    void finish()
    {
        const std::function<void()> done = std::move(m_done);
        deleteLater();
        done();
    }

    const StageTiming& m_stages;
    std::vector<BenchClick> m_clicks;
    std::function<void()> m_done;
    QWidget* m_tab = nullptr;
    QPushButton* m_find = nullptr;
    QLineEdit* m_card = nullptr;
    std::vector<QLineEdit*> m_fields;
    QCheckBox* m_span = nullptr;
    QCheckBox* m_newest = nullptr;
    QComboBox* m_count = nullptr;
    QWidget* m_viewport = nullptr;
    int m_step = 0;
};

} // namespace

const std::vector<BenchClick>& benchClicks()
{
    // A narrow card text matches a few cards, a broad one (a single digit) most of them.
    static const std::vector<BenchClick> clicks = {{"newest-200", "", true},
                                                   {"card-narrow", "00001234", false},
                                                   {"card-broad", "1", false},
                                                   {"whole-list", "", false}};
    return clicks;
}

std::vector<BenchClick> benchClicksAsked(const StageTiming& stages)
{
    if (!stages.enabled() || !stages.signsIn() || !qEnvironmentVariableIsSet("K27CENTER_BENCH_CLICKS"))
        return {};
    const QStringList names = qEnvironmentVariable("K27CENTER_BENCH_CLICKS").split(u',', Qt::SkipEmptyParts);
    std::vector<BenchClick> asked;
    for (const BenchClick& click : benchClicks())
        if (names.contains(QLatin1String(click.name)))
            asked.push_back(click);
    return asked.empty() ? benchClicks() : asked;
}

void clickRecordQueries(const StageTiming& stages, QWidget* window, std::function<void()> done)
{
    std::vector<BenchClick> clicks = benchClicksAsked(stages);
    if (clicks.empty()) {
        done();
        return;
    }
    (new ClickRun(stages, window, std::move(clicks), std::move(done)))->start();
}

} // namespace k27
