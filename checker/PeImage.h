// What the checker needs to know of a component without loading it: loading
// a delivery's DLL would run its code. Everything comes from the file's bytes.
#pragma once

#include <windows.h>

#include <string>

struct PeImage {
    bool isPe = false;           // MZ and PE headers that hold together
    bool isDll = false;          // the header marks it as a library
    WORD machine = 0;            // IMAGE_FILE_MACHINE_* of the header
    bool exportsRegister = false; // the export table names DllRegisterServer
};

// Reads the headers and the export names of a file. A file that is not a PE
// image, or whose tables point outside it, gives isPe false or no exports.
PeImage ReadPeImage(const std::string& path);

// The machine a program of this build loads: a library of another machine
// cannot be loaded into it.
constexpr WORD kOwnMachine =
#ifdef _WIN64
    IMAGE_FILE_MACHINE_AMD64;
#else
    IMAGE_FILE_MACHINE_I386;
#endif

// "32", "64", or empty for a machine that is neither x86 nor x64.
const char* MachineBits(WORD machine);
