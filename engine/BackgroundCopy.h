// Copies files, and replaces them, on a thread of its own while the calling
// thread keeps handling its messages, so that a large file, or a slow disk,
// never leaves the window without an answer: the copy, the flush, the rename
// and freeing what the rename replaced all take as long as the file is large.
// One thread serves every file of a run: starting a thread per file would
// cost more than copying a small file, and a small file is handled on the
// calling thread itself.
#pragma once

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>
#include <string>

class ProgressView;

class BackgroundCopy {
public:
    // Messages are handled through the view while a job runs.
    explicit BackgroundCopy(ProgressView& view) : view_(view) {}
    ~BackgroundCopy();
    BackgroundCopy(const BackgroundCopy&) = delete;
    BackgroundCopy& operator=(const BackgroundCopy&) = delete;

    // Whether the work on a file of that many bytes is worth handing to the thread.
    static bool WorthAThread(ULONGLONG bytes);
    // Runs the job on the thread while the view handles this thread's
    // messages; its result, with the job's last error as this thread's. A job
    // asked for while one runs (by a message handled meanwhile, or by the
    // job itself) runs where it is asked, and so does every job of a view
    // without a window: handing it over would cost more requests to the
    // system than the file's copy. What the job throws is thrown here.
    bool Run(const std::function<bool()>& job);

private:
    bool Start();
    void WaitWhilePumping();
    static DWORD WINAPI ThreadMain(void* parameter);

    ProgressView& view_;

    HANDLE thread_ = nullptr;
    HANDLE request_ = nullptr; // set for each job, and for the end
    HANDLE done_ = nullptr;    // set when a job has ended
    // The job, handed over through the two events.
    const std::function<bool()>* job_ = nullptr;
    bool result_ = false;
    DWORD error_ = ERROR_SUCCESS;
    // What the job threw, rethrown on the thread that asked for it.
    std::exception_ptr thrown_;
    std::atomic<bool> stop_{ false };
    std::atomic<bool> busy_{ false }; // a job is handed over and not yet done
};
