#include "engine/ProgressView.h"

#include <windows.h>

void WindowlessView::PumpMessages()
{
    MSG msg{};
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quitHeld_ = true;
            quitCode_ = static_cast<int>(msg.wParam);
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void WindowlessView::ReleaseQuit()
{
    if (quitHeld_)
        ::PostQuitMessage(quitCode_);
    quitHeld_ = false;
}
