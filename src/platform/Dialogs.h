#pragma once

#include <QString>

class QWidget;

namespace k27 {

// Every message box, question, input box and file dialog of the program goes
// through this interface, so that tests can answer them and see what was asked.
class Dialogs
{
public:
    enum class Icon { None, Information, Warning, Error, Question };
    // The button that Enter presses in a question. Questions that destroy data default to No.
    enum class DefaultAnswer { Yes, No };

    virtual ~Dialogs() = default;

    // A message box with an OK button.
    virtual void message(QWidget* parent, const QString& text, Icon icon, const QString& title = {}) = 0;
    // A Yes/No question with the question icon; true means Yes. Escape answers No.
    virtual bool question(QWidget* parent, const QString& text, const QString& title = {},
                          DefaultAnswer defaultAnswer = DefaultAnswer::Yes) = 0;
    // An input box; a cancelled box answers the empty text, as the operator sees it.
    virtual QString input(QWidget* parent, const QString& prompt, const QString& title, bool password = false) = 0;
    // What a file is chosen for: each kind opens in the folder last used for it.
    enum class FileKind { Other, Photo, Workbook, RecordFile, Export };

    // File choice; an empty result means cancelled. `filter` uses Qt's filter syntax.
    virtual QString openFile(QWidget* parent, const QString& title, const QString& filter,
                             FileKind kind = FileKind::Other) = 0;
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& suggestedName = {}, FileKind kind = FileKind::Other) = 0;
};

} // namespace k27
