#include "app/SessionGuard.h"

namespace {

constexpr wchar_t kWindowClass[] = L"LumoInstall.Sessione";
constexpr wchar_t kReason[] = L"Installazione in corso: attendere che termini.";

LRESULT CALLBACK GuardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION)
        return FALSE;
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeHiddenWindow()
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &GuardProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassW(&windowClass);
    // A top-level window, never shown: only such a window is asked.
    return ::CreateWindowExW(0, kWindowClass, L"LumoInstall", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
}

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
    if (window_ == nullptr) {
        window_ = MakeHiddenWindow();
        ownWindow_ = window_ != nullptr;
    }
    using CreateReason = BOOL(WINAPI*)(HWND, LPCWSTR);
    if (window_ != nullptr) {
        if (auto create = User32<CreateReason>("ShutdownBlockReasonCreate"))
            reasonSet_ = create(window_, kReason) != FALSE;
    }
}

SessionGuard::~SessionGuard()
{
    using DestroyReason = BOOL(WINAPI*)(HWND);
    if (reasonSet_) {
        if (auto destroy = User32<DestroyReason>("ShutdownBlockReasonDestroy"))
            destroy(window_);
    }
    if (ownWindow_)
        ::DestroyWindow(window_);
}
