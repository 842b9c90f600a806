// One installation at a time on the machine, in any session: a run holds a
// machine-wide lock from its start to its end.
#pragma once

#include <windows.h>

class InstallationLock {
public:
    InstallationLock() = default;
    ~InstallationLock();
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;

    // True when this process now holds the lock; false when another process
    // holds it. The lock of a process that ended without releasing it is free.
    bool TryAcquire();

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};
