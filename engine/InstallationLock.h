// One installation or removal at a time on the machine, in any session: a
// run holds a machine-wide lock from its start to its end.
//
// The lock lives in a private namespace whose boundary names the
// Administrators group: only a process of an administrator can create or
// open it, so no standard user's process can take the name first and keep
// every installation out. Where the system has no private namespaces (Wine
// among them), the lock is a named mutex of the global namespace, as before.
#pragma once

#include <windows.h>

class InstallationLock {
public:
    InstallationLock() = default;
    ~InstallationLock();
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;

    // True when this process now holds the lock; false when another process
    // holds it, or when the lock cannot be made at all (Error() tells why).
    // The lock of a process that ended without releasing it is free.
    bool TryAcquire();
    // Why the lock could not be made; ERROR_SUCCESS when another run holds it.
    DWORD Error() const { return error_; }
    // The lock is in the private namespace of administrators.
    bool Private() const { return namespace_ != nullptr; }

private:
    HANDLE Create();

    HANDLE boundary_ = nullptr;
    HANDLE namespace_ = nullptr;
    HANDLE mutex_ = nullptr;
    bool held_ = false;
    DWORD error_ = ERROR_SUCCESS;
};
