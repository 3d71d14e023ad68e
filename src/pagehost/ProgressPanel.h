#pragma once

#include <QFrame>

class QLabel;
class QProgressBar;

namespace k27 {

// The progress panel PicPrg shown over a page by the imports and the record deletion:
// the caption LblPrg, the bar Prg and the counter LblCount ("done/total").
class ProgressPanel : public QFrame
{
    Q_OBJECT
public:
    explicit ProgressPanel(QWidget* parent);

    // Moves the panel to the middle of `page`, sets the caption and the total, shows it.
    void start(QWidget* page, const QString& caption, int total);
    void setValue(int done);
    void finish();

    QLabel* LblPrg = nullptr;
    QProgressBar* Prg = nullptr;
    QLabel* LblCount = nullptr;

private:
    int m_total = 0;
};

} // namespace k27
