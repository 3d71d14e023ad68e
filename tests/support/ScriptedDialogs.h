#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace k27::test {

// Answers the program's dialogs from a script and keeps a log of what was asked.
class ScriptedDialogs final : public Dialogs
{
public:
    enum class Kind { Message, Question, Input, OpenFile, SaveFile };
    struct Call
    {
        Kind kind;
        QString text;
        Icon icon = Icon::None;
        QString title;
        bool defaultNo = false; // a question whose Enter answers No
        FileKind fileKind = FileKind::Other;
    };

    QList<Call> calls;
    QList<bool> questionAnswers; // consumed in order; an unscripted question answers No
    QStringList inputAnswers;    // consumed in order; unscripted answers the empty text
    QStringList fileAnswers;     // consumed in order by open and save; unscripted = cancelled
    // Runs while a message box would be open (a modal box lets events run).
    std::function<void(const Call&)> onMessage;

    void message(QWidget*, const QString& text, Icon icon, const QString& title) override
    {
        calls.append({Kind::Message, text, icon, title});
        if (onMessage)
            onMessage(calls.last());
    }
    bool question(QWidget*, const QString& text, const QString& title, DefaultAnswer defaultAnswer) override
    {
        calls.append({Kind::Question, text, Icon::Question, title, defaultAnswer == DefaultAnswer::No});
        return questionAnswers.isEmpty() ? false : questionAnswers.takeFirst();
    }
    QString input(QWidget*, const QString& prompt, const QString& title, bool) override
    {
        calls.append({Kind::Input, prompt, Icon::None, title});
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }
    QString openFile(QWidget*, const QString& title, const QString& filter, FileKind kind) override
    {
        calls.append({Kind::OpenFile, filter, Icon::None, title, false, kind});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString saveFile(QWidget*, const QString& title, const QString& filter, const QString&, FileKind kind) override
    {
        calls.append({Kind::SaveFile, filter, Icon::None, title, false, kind});
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const Call& c : calls)
            if (c.kind == Kind::Message || c.kind == Kind::Question)
                out << c.text;
        return out;
    }
    void clear() { calls.clear(); }
};

} // namespace k27::test
