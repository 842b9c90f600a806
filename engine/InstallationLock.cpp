#include "engine/InstallationLock.h"

namespace {
// In the global namespace, so that runs in other sessions see it too.
constexpr char kLockName[] = "Global\\LumoInstall.Installazione";
}

InstallationLock::~InstallationLock()
{
    if (held_)
        ::ReleaseMutex(mutex_);
    if (mutex_ != nullptr)
        ::CloseHandle(mutex_);
}

bool InstallationLock::TryAcquire()
{
    if (held_)
        return true;
    if (mutex_ == nullptr)
        mutex_ = ::CreateMutexA(nullptr, FALSE, kLockName);
    // A lock that cannot even be opened belongs to an installation that does
    // not let this one in.
    if (mutex_ == nullptr)
        return false;
    const DWORD state = ::WaitForSingleObject(mutex_, 0);
    held_ = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
    return held_;
}
