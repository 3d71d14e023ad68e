#pragma once

#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace k27::test {

// Another local account on the same computer (nobody): a forked child of the test that has
// dropped to that user does what he could do. Only a test run as root can become him.
constexpr uid_t OtherUid = 65534;

inline bool canActAsOtherUser()
{
    return ::geteuid() == 0;
}

// Runs `work` as the other user; true when it returned true there.
inline bool asOtherUser(const std::function<bool()>& work)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(OtherUid) != 0 || ::setuid(OtherUid) != 0)
            ::_exit(99);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace k27::test
