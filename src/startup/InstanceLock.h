#pragma once

#include <QString>

namespace k27 {

// One running program per program folder. The lock is the system's lock on an open file,
// which ends with the process however it ends: a lock file left by a killed run is taken over
// at once, whatever process now has its number, on whatever disk (a full one included), and
// whatever machine wrote it. The file itself is never removed (a run that removed it could
// let two later ones lock two different files).
class InstanceLock
{
public:
    enum class Outcome {
        Taken,
        HeldElsewhere, // another running program holds it
        Failed,        // it could not be tried (read-only folder, no locks on this disk, ...)
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Outcome take(const QString& path);
    // Why take() failed: the system's error number (0 when it did not fail).
    int error() const { return m_error; }
    bool isTaken() const { return m_fd >= 0; }

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace k27
