// No end of the session in the middle of a run: while the guard lives, the
// system shows the user why the program holds the session, and the wizard's
// window answers the system's question with no.
#pragma once

#include <windows.h>

class SessionGuard {
public:
    explicit SessionGuard(HWND window);
    ~SessionGuard();
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;

private:
    HWND window_;
    bool reasonSet_ = false;
};
