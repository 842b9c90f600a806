// Lines on standard output. The texts are UTF-8: a console gets them as the
// characters they are, a pipe or a file as Windows-1252 bytes, with "?" for
// a character that code page cannot hold.
#pragma once

#include <windows.h>

#include <string>

class ConsoleOut {
public:
    ConsoleOut();
    void Line(const std::string& text = std::string());

private:
    HANDLE output_;
    bool console_;
};
