// No end of the session in the middle of a run: while the guard lives, the
// program answers the system's question with no and gives it a reason to show.
#pragma once

#include <windows.h>

class SessionGuard {
public:
    // The wizard guards through its own window, which answers the question
    // itself. Without a window (a silent run) the guard makes a hidden one
    // where the system lets it.
    explicit SessionGuard(HWND window = nullptr);
    ~SessionGuard();
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;

private:
    HWND window_ = nullptr;
    bool ownWindow_ = false;
    bool reasonSet_ = false;
};
