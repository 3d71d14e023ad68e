#include "Utilities.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QThread>

namespace k27 {

void DelayMs(int ms)
{
    if (ms <= 0)
        return;
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (timer.elapsed() < ms)
            QThread::msleep(1); // do not spin a core while waiting
    } while (timer.elapsed() < ms);
}

void SelectAllText()
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* edit = qobject_cast<QLineEdit*>(focus))
        edit->selectAll();
    else if (auto* combo = qobject_cast<QComboBox*>(focus); combo && combo->lineEdit())
        combo->lineEdit()->selectAll();
    else if (auto* text = qobject_cast<QTextEdit*>(focus))
        text->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        plain->selectAll();
    else if (auto* spin = qobject_cast<QAbstractSpinBox*>(focus))
        spin->selectAll();
}

} // namespace k27
