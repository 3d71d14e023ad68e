#include "DuplicatePrompt.h"

#include "platform/FormControls.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QVBoxLayout>

namespace k27 {

DuplicatePrompt::DuplicatePrompt(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("PicTip"));
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral("QFrame#PicTip { background: #fffbe6; border: 2px solid #d8a400; }"));
    Lblmsg = form::named(new QLabel(QStringLiteral("数据重复是否覆盖?"), this), QStringLiteral("Lblmsg"));
    Lblmsg->setWordWrap(true);
    Lblmsg->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Lblmsg->setTextFormat(Qt::PlainText);
    const char* captions[4] = {"覆盖", "Replace All", "跳过", "跳过所有"};
    auto* buttons = new QHBoxLayout;
    for (int k = 0; k < 4; ++k) {
        CmdTip[size_t(k)] = form::named(form::button(this, QStringLiteral("CmdTip"), QString::fromUtf8(captions[k])),
                                        QStringLiteral("CmdTip"), k);
        buttons->addWidget(CmdTip[size_t(k)]);
        connect(CmdTip[size_t(k)], &QPushButton::clicked, this, [this, k] { choose(k); });
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 14, 16, 14);
    layout->setSpacing(12);
    layout->addWidget(Lblmsg, 1);
    layout->addLayout(buttons);
    resize(460, 130);
    hide();
}

void DuplicatePrompt::reset()
{
    m_flags.clear();
}

void DuplicatePrompt::choose(int k)
{
    m_flags.choose(k);
    hide();
    emit answered(k);
}

bool DuplicatePrompt::askOverwrite(const QString& question)
{
    return m_flags.decide(question, [this](const QString& q) { return ask(q); });
}

int DuplicatePrompt::ask(const QString& question)
{
    Lblmsg->setText(question);
    // The question lists what an overwrite would change: the panel grows to show it whole,
    // within the window.
    int w = qMax(460, sizeHint().width());
    if (const QWidget* host = parentWidget())
        w = qMax(200, qMin(w, host->width() - 16));
    resize(w, qMax(130, layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w) : sizeHint().height()));
    if (QWidget* host = parentWidget()) {
        QPoint at((host->width() - width()) / 2, (host->height() - height()) / 2);
        // Above an import's progress panel rather than over its counter.
        const auto* panel = host->findChild<QWidget*>(QStringLiteral("PicPrg"), Qt::FindDirectChildrenOnly);
        if (panel && panel->isVisible() && QRect(at, size()).intersects(panel->geometry()))
            at.setY(qMax(0, panel->y() - height() - 8));
        move(at);
    }
    // Whatever had the focus gets it back after the answer.
    const QPointer<QWidget> previousFocus = QApplication::focusWidget();
    show();
    raise();
    // Skip has the focus: Enter never overwrites a stored row by reflex.
    CmdTip[Skip]->setFocus(Qt::OtherFocusReason);
    m_flags.clear();
    QPointer<DuplicatePrompt> self(this);
    int chosen = -1;
    QEventLoop wait;
    connect(this, &DuplicatePrompt::answered, &wait, [&](int k) {
        chosen = k;
        wait.quit();
    });
    connect(this, &QObject::destroyed, &wait, &QEventLoop::quit);
    wait.exec();
    if (!self)
        return -1;
    if (previousFocus && previousFocus->isVisible())
        previousFocus->setFocus(Qt::OtherFocusReason);
    return chosen;
}

void DuplicatePrompt::keyPressEvent(QKeyEvent* event)
{
    // The buttons leave Enter and Escape to their panel (they are no dialog's default buttons).
    if (!isVisible()) {
        QFrame::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        int k = Skip;
        for (int i = 0; i < 4; ++i)
            if (CmdTip[size_t(i)]->hasFocus())
                k = i;
        choose(k);
        return;
    }
    case Qt::Key_Escape: choose(Skip); return;
    default: QFrame::keyPressEvent(event);
    }
}

} // namespace k27
