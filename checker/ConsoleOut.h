// Lines on standard output. The texts are Windows-1252 bytes: a console gets
// them as the characters they stand for, a pipe or a file gets the bytes.
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
