#pragma once

#include "platform/DuplicateAnswer.h"

#include <QFrame>

class QLabel;
class QPushButton;

namespace k27 {

// The duplicate-row question of the imports (PicTip): a panel over the main window with
// the question Lblmsg and four answers CmdTip 0..3. The answer flags (DuplicateAnswer)
// keep their values between the rows of one import.
class DuplicatePrompt : public QFrame
{
    Q_OBJECT
public:
    enum Answer { Overwrite = 0, OverwriteAll = 1, Skip = 2, SkipAll = 3 };

    explicit DuplicatePrompt(QWidget* parent);

    // Clears the four flags (the first step of every import).
    void reset();
    bool flag(int k) const { return m_flags.flag(k); }
    // Shows the question in front, clears the flags and waits, with events running, until
    // a button sets one. Answers the button's index, -1 when the window goes away first.
    // The question has the keyboard focus meanwhile (on "跳过"): Enter answers the focused
    // button, so overwriting takes a deliberate choice; Escape skips.
    int ask(const QString& question);
    // One duplicate row: answers from "all" without asking, otherwise asks. True = overwrite.
    bool askOverwrite(const QString& question);

    QLabel* Lblmsg = nullptr;
    std::array<QPushButton*, 4> CmdTip{};

signals:
    void answered(int k);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(int k);

    DuplicateAnswer m_flags;
};

} // namespace k27
