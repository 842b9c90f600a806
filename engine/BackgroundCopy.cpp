#include "engine/BackgroundCopy.h"

#include "engine/ProgressView.h"
#include "framework/MachineChange.h"
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
        self->copied_ = machine::CopyOver(self->source_, self->target_);
        self->error_ = self->copied_ ? ERROR_SUCCESS : ::GetLastError();
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
            view_.PumpMessages();
            continue;
        }
        ::WaitForSingleObject(done_, INFINITE);
        return;
    }
}

namespace {

// A copy this small ends long before a window would seem to hang, and
// handing it to the thread costs more than it saves.
constexpr ULONGLONG kCopiedHere = 256 * 1024;

bool IsSmallFile(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeHigh == 0 &&
           data.nFileSizeLow <= kCopiedHere;
}

} // namespace

bool BackgroundCopy::Copy(const std::string& source, const std::string& target)
{
    const std::wstring wideSource = Wide(source);
    const std::wstring wideTarget = Wide(target);
    // A small file, no thread to spare, or the thread busy with the copy of
    // an outer call: the copy runs here.
    if (busy_ || IsSmallFile(wideSource) || !Start())
        return machine::CopyOver(wideSource, wideTarget);
    busy_ = true;
    source_ = wideSource;
    target_ = wideTarget;
    ::SetEvent(request_);
    WaitWhilePumping();
    busy_ = false;
    ::SetLastError(error_);
    return copied_ != FALSE;
}
