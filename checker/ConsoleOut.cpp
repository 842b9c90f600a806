#include "checker/ConsoleOut.h"

ConsoleOut::ConsoleOut() : output_(::GetStdHandle(STD_OUTPUT_HANDLE)), console_(false)
{
    DWORD mode = 0;
    console_ = output_ != nullptr && output_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(output_, &mode);
}

void ConsoleOut::Line(const std::string& text)
{
    if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE)
        return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    if (console_) {
        // The console's own code page need not be the system's: wide
        // characters show every letter right.
        const int wide = ::MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0);
        if (wide > 0) {
            std::wstring buffer(static_cast<size_t>(wide), L'\0');
            ::MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), &buffer[0], wide);
            ::WriteConsoleW(output_, buffer.data(), static_cast<DWORD>(buffer.size()), &written, nullptr);
            return;
        }
    }
    ::WriteFile(output_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
