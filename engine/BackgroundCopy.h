// Copies files on a thread of its own while the calling thread keeps
// handling its messages, so that a large file, or a slow disk, never leaves
// the window without an answer. One thread serves every copy of a run:
// starting a thread per file would cost more than copying a small file, and
// a small file is copied on the calling thread itself.
#pragma once

#include <windows.h>

class ProgressView;

#include <atomic>
#include <string>

class BackgroundCopy {
public:
    // Messages are handled through the view while a copy runs.
    explicit BackgroundCopy(ProgressView& view) : view_(view) {}
    ~BackgroundCopy();
    BackgroundCopy(const BackgroundCopy&) = delete;
    BackgroundCopy& operator=(const BackgroundCopy&) = delete;

    // Copies source onto target, replacing a file there, exactly as CopyFileW
    // does, and returns its result; the last error is the copy's. The view
    // handles this thread's messages until the copy has ended. A copy asked
    // for by a message handled meanwhile runs on this thread.
    bool Copy(const std::string& source, const std::string& target);

private:
    bool Start();
    void WaitWhilePumping();
    static DWORD WINAPI ThreadMain(void* parameter);

    ProgressView& view_;

    HANDLE thread_ = nullptr;
    HANDLE request_ = nullptr; // set for each copy, and for the end
    HANDLE done_ = nullptr;    // set when a copy has ended
    // The job, handed over through the two events.
    std::wstring source_;
    std::wstring target_;
    BOOL copied_ = FALSE;
    DWORD error_ = ERROR_SUCCESS;
    std::atomic<bool> stop_{ false };
    bool busy_ = false; // a copy is handed over and not yet done
};
