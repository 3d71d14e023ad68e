#pragma once

#include <array>
#include <functional>

class QString;

namespace k27 {

// The four answer flags of the imports' duplicate-row question, numbered like its buttons
// CmdTip 0..3. At most one is set. An import clears them before its first row; an
// "all" answer then holds for every later duplicate of that import.
class DuplicateAnswer
{
public:
    enum Flag { Overwrite = 0, OverwriteAll = 1, Skip = 2, SkipAll = 3 };
    // Shows the question and waits for a button; answers its index 0..3, or -1 when the
    // question went away unanswered (taken as skip).
    using Ask = std::function<int(const QString& question)>;

    void clear() { m_flags.fill(false); }
    void choose(int k)
    {
        clear();
        if (k >= 0 && k < 4)
            m_flags[size_t(k)] = true;
    }
    bool flag(int k) const { return k >= 0 && k < 4 && m_flags[size_t(k)]; }
    bool any() const { return m_flags[0] || m_flags[1] || m_flags[2] || m_flags[3]; }
    bool holdsForAll() const { return m_flags[OverwriteAll] || m_flags[SkipAll]; }
    bool overwrite() const { return m_flags[Overwrite] || m_flags[OverwriteAll]; }

    // One duplicate row: from an "all" answer without asking, otherwise asks. True = overwrite.
    bool decide(const QString& question, const Ask& ask)
    {
        if (!holdsForAll())
            choose(ask ? ask(question) : -1);
        return overwrite();
    }

private:
    std::array<bool, 4> m_flags{};
};

} // namespace k27
