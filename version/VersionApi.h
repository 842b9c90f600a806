// The three wide version functions, taken at run time from version.dll in the
// system folder. version.dll is not one of the DLLs the system always loads
// from its own folder, so importing it statically would let a copy planted
// beside the program run inside the elevated installer.
#pragma once

#include <windows.h>

struct VersionApi {
    decltype(&::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW = nullptr;
    decltype(&::GetFileVersionInfoW) GetFileVersionInfoW = nullptr;
    decltype(&::VerQueryValueW) VerQueryValueW = nullptr;

    bool Available() const
    {
        return GetFileVersionInfoSizeW != nullptr && GetFileVersionInfoW != nullptr && VerQueryValueW != nullptr;
    }
};

// Loaded once; when the library or a function is missing, Available() is
// false and every file reads as having no version.
const VersionApi& Version();
