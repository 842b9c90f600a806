#include "checker/ConsoleOut.h"

#include "framework/Text.h"

ConsoleOut::ConsoleOut() : output_(::GetStdHandle(STD_OUTPUT_HANDLE)), console_(false)
{
    DWORD mode = 0;
    console_ = output_ != nullptr && output_ != INVALID_HANDLE_VALUE && ::GetConsoleMode(output_, &mode);
}

void ConsoleOut::Line(const std::string& text)
{
    // The console shows every character of a name, whatever its code page;
    // redirected output is Windows-1252, which Utf8 passes on as it is.
    const std::string line = text + "\r\n";
    Utf8(console_ ? line : ToWindows1252(line));
}

void ConsoleOut::Utf8(const std::string& text)
{
    if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    if (console_) {
        const std::wstring wide = Wide(text);
        ::WriteConsoleW(output_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    ::WriteFile(output_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
