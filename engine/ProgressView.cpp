#include "engine/ProgressView.h"

#include <windows.h>

void WindowlessView::PumpMessages()
{
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
