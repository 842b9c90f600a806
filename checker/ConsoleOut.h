// Lines on standard output. The texts are UTF-8: a console gets them as the
// characters they are, a pipe or a file as Windows-1252 bytes, with "?" for
// a character that code page cannot hold; a JSON document goes out as UTF-8.
#pragma once

#include <windows.h>

#include <string>

class ConsoleOut {
public:
    ConsoleOut();
    void Line(const std::string& text = std::string());
    // Text as it is: UTF-8 bytes to a pipe or a file, characters to a console.
    void Utf8(const std::string& text);

private:
    HANDLE output_;
    bool console_;
};
