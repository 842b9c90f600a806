#include "engine/BackgroundCopy.h"

#include "engine/ProgressView.h"
#include "framework/Text.h"

BackgroundCopy::~BackgroundCopy()
{
    if (thread_ != nullptr) {
        stop_ = true;
        ::SetEvent(request_);
        ::WaitForSingleObject(thread_, INFINITE);
        ::CloseHandle(thread_);
    }
    if (request_ != nullptr)
        ::CloseHandle(request_);
    if (done_ != nullptr)
        ::CloseHandle(done_);
}

bool BackgroundCopy::Start()
{
    if (thread_ != nullptr)
        return true;
    if (request_ == nullptr)
        request_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (done_ == nullptr)
        done_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (request_ == nullptr || done_ == nullptr)
        return false;
    thread_ = ::CreateThread(nullptr, 0, &BackgroundCopy::ThreadMain, this, 0, nullptr);
    return thread_ != nullptr;
}

DWORD WINAPI BackgroundCopy::ThreadMain(void* parameter)
{
    auto* self = static_cast<BackgroundCopy*>(parameter);
    for (;;) {
        ::WaitForSingleObject(self->request_, INFINITE);
        if (self->stop_)
            return 0;
        // What the job throws (memory exhausted) is the waiting thread's to
        // handle as it handles its own: escaping here it would end the
        // process without the run's last line and exit code.
        try {
            self->result_ = (*self->job_)();
            self->error_ = self->result_ ? ERROR_SUCCESS : ::GetLastError();
        } catch (...) {
            self->thrown_ = std::current_exception();
        }
        ::SetEvent(self->done_);
    }
}

void BackgroundCopy::WaitWhilePumping()
{
    for (;;) {
        const DWORD woken = ::MsgWaitForMultipleObjectsEx(1, &done_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            return;
        if (woken == WAIT_OBJECT_0 + 1) {
            view_.PumpWaitingMessages();
            continue;
        }
        ::WaitForSingleObject(done_, INFINITE);
        return;
    }
}

namespace {

// A file this small is handled long before a window would seem to hang, and
// handing it to the thread costs more than it saves.
constexpr ULONGLONG kHandledHere = 256 * 1024;

} // namespace

bool BackgroundCopy::WorthAThread(ULONGLONG bytes)
{
    return bytes > kHandledHere;
}

bool BackgroundCopy::Run(const std::function<bool()>& job)
{
    // The thread busy with an outer job, or no thread to spare: it runs here.
    if (busy_ || !view_.HasWindow() || !Start())
        return job();
    busy_ = true;
    job_ = &job;
    ::SetEvent(request_);
    WaitWhilePumping();
    job_ = nullptr;
    busy_ = false;
    if (thrown_) {
        std::exception_ptr thrown;
        std::swap(thrown, thrown_);
        std::rethrow_exception(thrown);
    }
    ::SetLastError(error_);
    return result_;
}
