#pragma once

#include <QFrame>
#include <array>

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
    bool flag(int k) const { return m_flags[size_t(k)]; }
    // One duplicate row: answers from "all" without asking; otherwise shows the question
    // and waits, with events running, for a button. True = overwrite the row.
    bool askOverwrite(const QString& question);

    QLabel* Lblmsg = nullptr;
    std::array<QPushButton*, 4> CmdTip{};

signals:
    void answered(int k);

private:
    void choose(int k);

    std::array<bool, 4> m_flags{};
};

} // namespace k27
