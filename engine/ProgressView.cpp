#include "engine/ProgressView.h"

#include <windows.h>

namespace {

unsigned long long SystemMilliseconds()
{
    return ::GetTickCount64();
}

} // namespace

WindowlessView::WindowlessView() : clock_(&SystemMilliseconds) {}

void WindowlessView::PumpMessages()
{
    const unsigned long long now = clock_();
    if (pumped_ && now - lastPump_ < kPumpIntervalMs)
        return;
    PumpWaitingMessages();
}

void WindowlessView::PumpWaitingMessages()
{
    pumped_ = true;
    lastPump_ = clock_();
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit_.Hold(static_cast<int>(msg.wParam));
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void HeldQuit::Release()
{
    if (held)
        ::PostQuitMessage(code);
    held = false;
}
