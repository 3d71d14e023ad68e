#include "RecordChart.h"

#include "platform/FormControls.h"
#include "platform/GridPageSetup.h"
#include "platform/GridPrinter.h"
#include "ribbon/RibbonTheme.h"
#include "startup/Messages.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QGraphicsTextItem>
#include <QTextDocument>
#include <QHBoxLayout>
#include <QHorizontalBarSeries>
#include <QPainter>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgGenerator>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

namespace k27 {

namespace {

QFont smallFont(const QWidget* w, int delta)
{
    QFont f = w->font();
    f.setPointSizeF(qMax(6.0, f.pointSizeF() + delta));
    return f;
}

} // namespace

RecordChart::RecordChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ChartIO"));
    m_charts = new QWidget(this);
    auto* charts = new QHBoxLayout(m_charts);
    charts->setContentsMargins(0, 0, 0, 0);
    charts->setSpacing(4);
    for (int i = 0; i < 3; ++i) {
        m_views[i] = new QChartView(new QChart, m_charts);
        m_views[i]->setRenderHint(QPainter::Antialiasing);
        m_views[i]->setMinimumSize(160, 190);
        m_views[i]->chart()->legend()->hide();
        m_views[i]->chart()->setMargins(QMargins(2, 2, 2, 2));
        // The room around the chart goes to the bars: ten terminal rows need every pixel.
        m_views[i]->chart()->layout()->setContentsMargins(0, 0, 0, 0);
        m_views[i]->chart()->setBackgroundRoundness(0);
        charts->addWidget(m_views[i], i == 0 ? 5 : 3);
    }
    btnChartSave = form::button(this, QStringLiteral("btnChartSave"), QStringLiteral("保存图片"));
    btnChartPrint = form::button(this, QStringLiteral("btnChartPrint"), QStringLiteral("打印"));
    btnChartCancel = form::button(this, QStringLiteral("btnChartCancel"), QStringLiteral("取消"));
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    auto* side = new QVBoxLayout;
    side->addWidget(btnChartSave);
    side->addWidget(btnChartPrint);
    side->addStretch();
    side->addWidget(m_progress);
    side->addWidget(btnChartCancel);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_charts, 1);
    layout->addLayout(side);
    m_progress->setMaximumWidth(btnChartSave->sizeHint().width() + 40);
    hideProgress();
    connect(btnChartCancel, &QPushButton::clicked, this, &RecordChart::cancelRequested);
    setTheme(1);
}

void RecordChart::setTheme(int theme)
{
    const RibbonThemeColours c = RibbonTheme::colours(theme);
    m_bar = c.titulo2;
    m_accent = c.tabSelected == Qt::black ? c.titulo : c.tabSelected;
    build();
}

void RecordChart::showProgress(int permille)
{
    m_progress->setFormat(text(Msg::ChartCounting));
    m_progress->setTextVisible(false);
    m_progress->setToolTip(text(Msg::ChartCounting));
    m_progress->setValue(permille);
    m_progress->show();
    btnChartCancel->show();
    btnChartSave->setEnabled(false);
    btnChartPrint->setEnabled(false);
}

void RecordChart::hideProgress()
{
    m_progress->hide();
    btnChartCancel->hide();
    btnChartSave->setEnabled(true);
    btnChartPrint->setEnabled(true);
}

void RecordChart::show(const RecordCounts& counts)
{
    m_counts = counts;
    build();
}

QString RecordChart::barLabel(const RecordCounts::Bar& bar) const
{
    const QLocale& locale = this->locale();
    switch (m_counts.step) {
    case RecordCounts::Step::Hour:
        return bar.start.time().hour() == 0 || &bar == &m_counts.timeline.first()
                   ? bar.start.toString(QStringLiteral("MM-dd HH"))
                   : bar.start.toString(QStringLiteral("HH"));
    case RecordCounts::Step::Day:
        return bar.start.toString(QStringLiteral("M/d "))
               + locale.dayName(bar.start.date().dayOfWeek(), QLocale::ShortFormat);
    case RecordCounts::Step::Week: return bar.start.toString(QStringLiteral("yy-MM-dd"));
    case RecordCounts::Step::Month: return bar.start.toString(QStringLiteral("yyyy-MM"));
    }
    return {};
}

namespace {

// The names of the bars: the hours get a number every six hours, where 24 names would not fit.
QAbstractAxis* namesAxis(bool hourOfDay, const QStringList& categories, qsizetype bars)
{
    if (hourOfDay) {
        auto* hours = new QValueAxis;
        hours->setRange(-0.5, double(bars) - 0.5);
        hours->setTickType(QValueAxis::TicksDynamic);
        hours->setTickAnchor(0);
        hours->setTickInterval(6);
        hours->setLabelFormat(QStringLiteral("%d"));
        return hours;
    }
    auto* list = new QBarCategoryAxis;
    list->append(categories.isEmpty() ? QStringList{QString()} : categories);
    return list;
}

QValueAxis* countsAxis(qint64 top, const QFont& font, const QColor& colour)
{
    auto* counts = new QValueAxis;
    counts->setRange(0, double(qMax<qint64>(1, top)) * 1.05);
    counts->setLabelFormat(QStringLiteral("%d"));
    counts->setTickCount(top < 4 ? int(top) + 2 : 5);
    counts->setLabelsFont(font);
    counts->setLabelsColor(colour);
    return counts;
}

// Qt hides the label of an end row that is lower than the label's box (a short window, a pixel
// less for the chart in one language): the names shrink until a row holds the box, measured as
// Qt measures it (a text item of half a pixel's margin).
void fitRows(QChart* chart, QAbstractAxis* names, const QStringList& categories)
{
    const int rows = int(qMax<qsizetype>(1, categories.size()));
    const auto fit = [names, base = names->labelsFont(), rows, sample = categories.value(0)](const QRectF& area) {
        QGraphicsTextItem box;
        box.document()->setDocumentMargin(0.5);
        QFont f = base;
        const auto height = [&] {
            box.setFont(f);
            box.setHtml(sample);
            return box.boundingRect().height();
        };
        while (f.pointSizeF() > 5.0 && height() > area.height() / rows)
            f.setPointSizeF(f.pointSizeF() - 0.5);
        if (f != names->labelsFont())
            names->setLabelsFont(f);
    };
    QObject::connect(chart, &QChart::plotAreaChanged, names, fit);
    if (!chart->plotArea().isEmpty()) // a chart drawn again in the same place
        fit(chart->plotArea());
}

} // namespace

// One bar series per chart: its bars, their labels, a value axis from 0.
QBarSet* RecordChart::fill(int i, const QString& title, const QStringList& categories, const QList<qint64>& values,
                           bool horizontal, const QStringList& tip)
{
    const QFont labels = smallFont(this, -1);
    const QColor textColour = palette().color(QPalette::WindowText);
    QChart* chart = m_views[i]->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis), delete axis;
    chart->setTitle(title);
    chart->setTitleFont(smallFont(this, 0));
    chart->setTitleBrush(m_accent);
    auto* set = new QBarSet(title);
    set->setColor(m_bar);
    set->setBorderColor(m_bar.darker(130));
    qint64 top = 0;
    for (const qint64 v : values) {
        *set << double(v);
        top = qMax(top, v);
    }
    QAbstractBarSeries* series = horizontal ? static_cast<QAbstractBarSeries*>(new QHorizontalBarSeries)
                                            : static_cast<QAbstractBarSeries*>(new QBarSeries);
    series->setBarWidth(0.8);
    series->append(set);
    chart->addSeries(series);
    QAbstractAxis* names = namesAxis(i == 2, categories, values.size());
    // Ten terminal numbers stacked in a short chart need the smaller letters.
    names->setLabelsFont(horizontal ? smallFont(this, -2) : labels);
    // Qt elides a label whose row is a little lower than its letters; a four-digit
    // number drawn whole reads better than "…".
    if (horizontal) {
        names->setTruncateLabels(false);
        fitRows(chart, names, categories);
    }
    names->setLabelsColor(textColour);
    names->setGridLineVisible(false);
    QValueAxis* counts = countsAxis(top, labels, textColour);
    if (!horizontal && categories.size() > 12 && i == 0)
        names->setLabelsAngle(-90);
    chart->addAxis(names, horizontal ? Qt::AlignLeft : Qt::AlignBottom);
    chart->addAxis(counts, horizontal ? Qt::AlignBottom : Qt::AlignLeft);
    series->attachAxis(names);
    series->attachAxis(counts);
    showTips(set, tip);
    return set;
}

// A bar pointed at shows its name and count, in the accent colour.
void RecordChart::showTips(QBarSet* set, const QStringList& tip)
{
    connect(set, &QBarSet::hovered, this, [this, set, tip](bool on, int index) {
        if (!on || index < 0 || index >= tip.size()) {
            QToolTip::hideText();
            return;
        }
        QToolTip::showText(QCursor::pos(),
                           text(Msg::ChartBarTip).arg(tip[index]).arg(QLocale().toString(qint64(set->at(index)))));
    });
    connect(set, &QBarSet::hovered, this, [set, this](bool on, int index) {
        set->setSelectedColor(m_accent);
        set->deselectAllBars();
        if (on)
            set->selectBar(index);
    });
}

void RecordChart::build()
{
    if (!m_views[0])
        return;
    buildTimeline();
    buildTerminals();
    buildHours();
}

void RecordChart::buildTimeline()
{
    QStringList categories;
    QList<qint64> values;
    for (const RecordCounts::Bar& bar : m_counts.timeline) {
        categories << barLabel(bar);
        values << bar.count;
    }
    QBarSet* time = fill(0, text(Msg::ChartPerHour + int(m_counts.step)), categories, values, false, categories);
    connect(time, &QBarSet::clicked, this, [this](int index) {
        if (index >= 0 && index < m_counts.timeline.size())
            emit timeChosen(m_counts.timeline[index].start, m_counts.timeline[index].end);
    });
}

void RecordChart::buildTerminals()
{
    QStringList categories;
    QList<qint64> values;
    // Busiest at the top: a horizontal series draws its first bar at the bottom.
    // The axis names the terminal by number (an address would leave no room for the bars);
    // the tip adds the address.
    QStringList tips;
    for (auto t = m_counts.terminals.crbegin(); t != m_counts.terminals.crend(); ++t) {
        categories << QString::number(t->number);
        tips << (t->address.isEmpty() ? categories.last() : categories.last() + u' ' + t->address);
        values << t->count;
    }
    QBarSet* terminals = fill(1, text(Msg::ChartBusiestTerminals), categories, values, true, tips);
    connect(terminals, &QBarSet::clicked, this, [this](int index) {
        const int i = int(m_counts.terminals.size()) - 1 - index;
        if (i >= 0 && i < m_counts.terminals.size())
            emit terminalChosen(m_counts.terminals[i].number);
    });
}

void RecordChart::buildHours()
{
    QList<qint64> values;
    QStringList tips;
    for (int h = 0; h < 24; ++h) {
        tips << QStringLiteral("%1:00").arg(h, 2, 10, QLatin1Char('0'));
        values << m_counts.hours[h];
    }
    QBarSet* hours = fill(2, text(Msg::ChartHourOfDay), QStringList(), values, false, tips);
    connect(hours, &QBarSet::clicked, this, [this](int index) { emit hourChosen(index); });
}

QImage RecordChart::picture(const QSize& size) const
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QSize own = m_charts->size();
    // The charts as shown, scaled to the picture.
    const double scale = qMin(double(size.width()) / qMax(1, own.width()),
                              double(size.height()) / qMax(1, own.height()));
    painter.scale(scale, scale);
    m_charts->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

bool RecordChart::savePicture(const QString& path) const
{
    if (path.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        // Drawn as lines and text: sharp at any size.
        const QSize own = m_charts->size();
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(own);
        svg.setViewBox(QRect(QPoint(), own));
        QPainter painter;
        if (!painter.begin(&svg))
            return false;
        m_charts->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
        return painter.end() && QFileInfo(path).size() > 0;
    }
    // Twice the size shown: sharp on paper and on a large screen.
    return picture(m_charts->size() * 2).save(path, "PNG");
}

void RecordChart::renderTo(QPrinter* printer, const GridPageSetup& setup) const
{
    GridPrinter::applyLayout(setup, printer);
    QPainter painter(printer);
    if (!painter.isActive())
        return;
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QSize own = m_charts->size();
    const double scale = qMin(double(page.width()) / qMax(1, own.width()),
                              double(page.height()) / qMax(1, own.height()));
    painter.scale(scale, scale);
    m_charts->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
}

} // namespace k27
