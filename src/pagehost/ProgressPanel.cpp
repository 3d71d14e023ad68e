#include "ProgressPanel.h"

#include "platform/FormControls.h"

#include <QProgressBar>
#include <QVBoxLayout>

namespace k27 {

ProgressPanel::ProgressPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("PicPrg"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QFrame#PicPrg { background: #f3f7fc; border: 2px solid #4a7bb7; }"));
    LblPrg = form::named(new QLabel(QStringLiteral("正在导入数据请稍后....."), this), QStringLiteral("LblPrg"));
    Prg = form::named(new QProgressBar(this), QStringLiteral("Prg"));
    Prg->setTextVisible(false);
    LblCount = form::named(new QLabel(QStringLiteral("0/0"), this), QStringLiteral("LblCount"));
    LblCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->addWidget(LblPrg);
    layout->addWidget(Prg);
    layout->addWidget(LblCount);
    resize(420, 110);
    hide();
}

void ProgressPanel::start(QWidget* page, const QString& caption, int total)
{
    m_total = qMax(total, 0);
    Prg->setMaximum(qMax(total, 1));
    Prg->setValue(0);
    LblCount->setText(QStringLiteral("0/%1").arg(total));
    if (!caption.isEmpty())
        LblPrg->setText(caption);
    if (QWidget* host = parentWidget()) {
        const QRect area = page ? QRect(page->mapTo(host, QPoint(0, 0)), page->size()) : host->rect();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
}

void ProgressPanel::setValue(int done)
{
    Prg->setValue(qMin(done, Prg->maximum()));
    LblCount->setText(QStringLiteral("%1/%2").arg(done).arg(m_total));
}

void ProgressPanel::finish()
{
    hide();
}

} // namespace k27
