#include "engine/InstallationLock.h"

#include <sddl.h>

namespace {

constexpr wchar_t kBoundaryName[] = L"LumoInstall";
constexpr wchar_t kNamespaceName[] = L"LumoInstall";
constexpr wchar_t kPrivateLockName[] = L"LumoInstall\\Installazione";
// In the global namespace, so that runs in other sessions see it too.
constexpr wchar_t kGlobalLockName[] = L"Global\\LumoInstall.Installazione";
// Administrators and the system alone may open the namespace and the lock.
constexpr wchar_t kAdministratorsOnly[] = L"D:(A;;GA;;;BA)(A;;GA;;;SY)";

// A security descriptor made from SDDL text, freed with the object.
class Descriptor {
public:
    explicit Descriptor(const wchar_t* sddl)
    {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor_, nullptr))
            descriptor_ = nullptr;
        attributes_.nLength = sizeof(attributes_);
        attributes_.lpSecurityDescriptor = descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    ~Descriptor()
    {
        if (descriptor_ != nullptr)
            ::LocalFree(descriptor_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return descriptor_ != nullptr ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

} // namespace

InstallationLock::~InstallationLock()
{
    if (held_)
        ::ReleaseMutex(mutex_);
    if (mutex_ != nullptr)
        ::CloseHandle(mutex_);
    if (namespace_ != nullptr)
        ::ClosePrivateNamespace(namespace_, 0);
    if (boundary_ != nullptr)
        ::DeleteBoundaryDescriptor(boundary_);
}

HANDLE InstallationLock::Create()
{
    Descriptor administrators(kAdministratorsOnly);
    // Wine gives no boundary descriptor (and its way of adding a SID to one
    // ends the process), so the SID is added only to a descriptor that exists.
    boundary_ = ::CreateBoundaryDescriptorW(kBoundaryName, 0);
    if (boundary_ != nullptr) {
        BYTE sid[SECURITY_MAX_SID_SIZE] = {};
        DWORD sidSize = sizeof(sid);
        if (::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sidSize) &&
            ::AddSIDToBoundaryDescriptor(&boundary_, sid)) {
            namespace_ = ::CreatePrivateNamespaceW(administrators.Attributes(), boundary_, kNamespaceName);
            if (namespace_ == nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS)
                namespace_ = ::OpenPrivateNamespaceW(boundary_, kNamespaceName);
            if (namespace_ == nullptr)
                return nullptr;
            return ::CreateMutexW(administrators.Attributes(), FALSE, kPrivateLockName);
        }
        ::DeleteBoundaryDescriptor(boundary_);
        boundary_ = nullptr;
    }
    return ::CreateMutexW(administrators.Attributes(), FALSE, kGlobalLockName);
}

bool InstallationLock::TryAcquire()
{
    if (held_)
        return true;
    if (mutex_ == nullptr)
        mutex_ = Create();
    if (mutex_ == nullptr) {
        error_ = ::GetLastError();
        if (error_ == ERROR_SUCCESS)
            error_ = ERROR_INVALID_HANDLE;
        return false;
    }
    error_ = ERROR_SUCCESS;
    const DWORD state = ::WaitForSingleObject(mutex_, 0);
    held_ = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
    return held_;
}
