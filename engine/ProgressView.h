// The only way a run reaches a window: it shows a status text and a bar
// position, and tells when the messages waiting for its thread may be handled.
// The wizard shows them on its progress page; a silent run has no window.
#pragma once

#include <string>

class ProgressView {
public:
    virtual ~ProgressView() = default;

    virtual void ShowStatus(const std::string& text) = 0;
    // The bar's range is 0..100; a position outside it is passed on as it is.
    virtual void ShowPosition(int position) = 0;
    // Handles every message waiting for the thread and returns as soon as the
    // queue is empty; never waits. False once a quit request was seen (it
    // stays in the queue for the loop that owns it): stop asking.
    virtual bool PumpMessages() = 0;
};

// A run without any window. Its thread may still receive messages (COM's own
// hidden window), so they are handled as any thread must.
class WindowlessView : public ProgressView {
public:
    void ShowStatus(const std::string&) override {}
    void ShowPosition(int) override {}
    bool PumpMessages() override;
};
