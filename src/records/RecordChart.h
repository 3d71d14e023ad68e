#pragma once

#include "RecordCounts.h"

#include <QColor>
#include <QWidget>
#include <functional>

class QBarSet;
class QChart;
class QChartView;
class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;

namespace k27 {

class GridPageSetup;

// The records page's activity chart ChartIO: entries over the span, the busiest terminals and
// the hour-of-day profile, side by side. A bar shows its count when the pointer rests on it
// and asks for a narrower query when clicked; the picture can be saved and printed.
class RecordChart : public QWidget
{
    Q_OBJECT
public:
    using Texts = std::function<QString(int number)>;

    explicit RecordChart(QWidget* parent = nullptr);

    // Texts of the titles and tips; colours of the bars (the ribbon's theme).
    void setTexts(Texts texts) { m_texts = std::move(texts); }
    void setTheme(int theme);
    void show(const RecordCounts& counts);
    const RecordCounts& counts() const { return m_counts; }

    // The counting's progress inside the panel, with its Cancel button.
    void showProgress(int permille);
    void hideProgress();

    // The three charts as one picture (what is saved and printed).
    QImage picture(const QSize& size) const;
    bool savePicture(const QString& path) const;
    // Lays the picture on one page of `printer` as the page set-up says.
    void renderTo(QPrinter* printer, const GridPageSetup& setup) const;

    QPushButton* btnChartSave = nullptr;
    QPushButton* btnChartPrint = nullptr;
    QPushButton* btnChartCancel = nullptr;

signals:
    void timeChosen(const QDateTime& start, const QDateTime& end);
    void terminalChosen(qint64 number);
    void hourChosen(int hour);
    void cancelRequested();

private:
    void build();
    void buildTimeline();
    void buildTerminals();
    void buildHours();
    QBarSet* fill(int i, const QString& title, const QStringList& categories, const QList<qint64>& values,
                  bool horizontal, const QStringList& tip);
    void showTips(QBarSet* set, const QStringList& tip);
    QString text(int number) const { return m_texts ? m_texts(number) : QString::number(number); }
    QString barLabel(const RecordCounts::Bar& bar) const;

    Texts m_texts;
    RecordCounts m_counts;
    QColor m_bar, m_accent;
    QWidget* m_charts = nullptr;
    QChartView* m_views[3] = {nullptr, nullptr, nullptr};
    QProgressBar* m_progress = nullptr;
};

} // namespace k27
