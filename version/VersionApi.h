// The three version functions, taken at run time from version.dll in the
// system folder. version.dll is not one of the DLLs the system always loads
// from its own folder, so importing it statically would let a copy planted
// beside the program run inside the elevated installer.
#pragma once

#include <windows.h>

struct VersionApi {
    decltype(&::GetFileVersionInfoSizeA) GetFileVersionInfoSizeA = nullptr;
    decltype(&::GetFileVersionInfoA) GetFileVersionInfoA = nullptr;
    decltype(&::VerQueryValueA) VerQueryValueA = nullptr;

    bool Available() const
    {
        return GetFileVersionInfoSizeA != nullptr && GetFileVersionInfoA != nullptr && VerQueryValueA != nullptr;
    }
};

// Loaded once; when the library or a function is missing, Available() is
// false and every file reads as having no version.
const VersionApi& Version();
