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
    // queue is empty; never waits. A quit request met meanwhile is held until
    // the run has ended: a run is never left half done.
    virtual void PumpMessages() = 0;
    // The same when a wait was ended by a message: it must be handled now,
    // or the wait would end again at once.
    virtual void PumpWaitingMessages() { PumpMessages(); }
    // Whether a window waits on the thread's answers while a file is copied.
    virtual bool HasWindow() const { return true; }
    // A view may show a fast run at the pace a person can see, skipping what
    // would be gone before the next frame: this shows what it held back, at
    // the end of each pass.
    virtual void Settle() {}
};

// A quit request taken out of the queue during a run, so that the run is not
// left half done, and put back once it has ended.
struct HeldQuit {
    bool held = false;
    int code = 0;

    void Hold(int exitCode)
    {
        held = true;
        code = exitCode;
    }
    // Puts the request back, for the loop that owns it.
    void Release();
};

// A run without any window. Its thread may still receive messages (COM's own
// hidden window), so they are handled as any thread must; but nobody watches
// them being answered, and each look at the queue is a request to the
// system, so the queue is looked at a few times a second rather than at
// every file.
class WindowlessView : public ProgressView {
public:
    // Milliseconds since some fixed instant.
    using Clock = unsigned long long (*)();
    static constexpr unsigned long long kPumpIntervalMs = 100;

    WindowlessView();
    explicit WindowlessView(Clock clock) : clock_(clock) {}

    void ShowStatus(const std::string&) override {}
    void ShowPosition(int) override {}
    bool HasWindow() const override { return false; }
    // The first call always looks; later ones once the interval has passed.
    void PumpMessages() override;
    void PumpWaitingMessages() override;

    // Puts back a quit request held during the run, for the loop that owns it.
    void ReleaseQuit() { quit_.Release(); }

private:
    HeldQuit quit_;
    Clock clock_;
    bool pumped_ = false;
    unsigned long long lastPump_ = 0;
};
