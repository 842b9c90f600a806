// The installation folder: an earlier installation's, from the registry, or
// the one Installatore.ini names.
#pragma once

#include <windows.h>

#include <string>

// The view of HKEY_LOCAL_MACHINE that the shipped 32-bit program sees on
// 64-bit Windows. Every build asks for it explicitly, so that all read the
// values an earlier 32-bit installation recorded. (Ignored on 32-bit Windows.)
constexpr REGSAM kMachineRegistryView = KEY_WOW64_32KEY;

struct InstallFolder {
    std::string folder;
    // The product key ("CHIAVI" / "PathKey") opened with full access.
    bool keyOpened = false;
    // The folder is its value "InstallationDir", not the description file's.
    bool fromRegistry = false;
};

// Decides the folder as the installer does at start-up, reading the given
// description file. A key that opens only for reading counts as absent.
InstallFolder DecideInstallFolder(const std::string& descriptionFile);
