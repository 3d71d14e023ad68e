#pragma once

#include "Dialogs.h"

#include <QFileDialog>

namespace k27 {

// The production dialogs: real QMessageBox, QInputDialog and QFileDialog.
class QtDialogs final : public Dialogs
{
public:
    void setDefaultTitle(const QString& title) { m_title = title; }

    void message(QWidget* parent, const QString& text, Icon icon, const QString& title) override;
    bool question(QWidget* parent, const QString& text, const QString& title, DefaultAnswer defaultAnswer) override;
    QString input(QWidget* parent, const QString& prompt, const QString& title, bool password) override;
    QString openFile(QWidget* parent, const QString& title, const QString& filter, FileKind kind) override;
    QString saveFile(QWidget* parent, const QString& title, const QString& filter, const QString& suggestedName,
                     FileKind kind) override;

    // Qt's own file dialog: its filters match a name whatever its case ("REC.TXT" under
    // "*.txt"), which a desktop's dialog does not promise.
    static QFileDialog::Options openOptions() { return QFileDialog::DontUseNativeDialog; }

private:
    QString titleOr(const QString& title) const { return title.isEmpty() ? m_title : title; }
    QString m_title = QStringLiteral("K27 Center");
};

} // namespace k27
