#include "QtDialogs.h"

#include "platform/FileFolders.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace k27 {

static QMessageBox::Icon toQt(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information: return QMessageBox::Information;
    case Dialogs::Icon::Warning: return QMessageBox::Warning;
    case Dialogs::Icon::Error: return QMessageBox::Critical;
    case Dialogs::Icon::Question: return QMessageBox::Question;
    case Dialogs::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

void QtDialogs::message(QWidget* parent, const QString& text, Icon icon, const QString& title)
{
    QMessageBox box(toQt(icon), titleOr(title), text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtDialogs::question(QWidget* parent, const QString& text, const QString& title, DefaultAnswer defaultAnswer)
{
    QMessageBox box(QMessageBox::Question, titleOr(title), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(defaultAnswer == DefaultAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogs::input(QWidget* parent, const QString& prompt, const QString& title, bool password)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, titleOr(title), prompt,
                                               password ? QLineEdit::Password : QLineEdit::Normal, {}, &ok);
    return ok ? text : QString();
}

QString QtDialogs::openFile(QWidget* parent, const QString& title, const QString& filter, FileKind kind)
{
    const QString file = QFileDialog::getOpenFileName(parent, titleOr(title), FileFolders::startFolder(kind), filter,
                                                      nullptr, openOptions());
    FileFolders::remember(kind, file);
    return file;
}

QString QtDialogs::saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& suggestedName,
                            FileKind kind)
{
    const QString start = QDir(FileFolders::startFolder(kind)).filePath(suggestedName);
    const QString file = QFileDialog::getSaveFileName(parent, titleOr(title), start, filter);
    FileFolders::remember(kind, file);
    return file;
}

} // namespace k27
