#include "framework/SessionGuard.h"

namespace {

constexpr wchar_t kReason[] = L"Installazione in corso: attendere che termini.";

// Taken at run time: systems before Windows Vista do not have them.
template <class Function>
Function User32(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

} // namespace

SessionGuard::SessionGuard(HWND window) : window_(window)
{
    using CreateReason = BOOL(WINAPI*)(HWND, LPCWSTR);
    if (auto create = User32<CreateReason>("ShutdownBlockReasonCreate"))
        reasonSet_ = create(window_, kReason) != FALSE;
}

SessionGuard::~SessionGuard()
{
    using DestroyReason = BOOL(WINAPI*)(HWND);
    if (reasonSet_) {
        if (auto destroy = User32<DestroyReason>("ShutdownBlockReasonDestroy"))
            destroy(window_);
    }
}
