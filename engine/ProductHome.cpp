#include "engine/ProductHome.h"

#include "framework/Text.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace {

// FOLDERID_ProgramFilesX86, spelled out so that no GUID library is linked in.
constexpr GUID kProgramFilesX86 = { 0x7C5A40EF, 0xA0FB, 0x4BFC, { 0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E } };

constexpr char kHomeFolder[] = "LumoInstall";
constexpr char kProgramName[] = "LumoInstall.exe";

} // namespace

std::string ProductHomeRoot()
{
    // The 32-bit view on every build: on 64-bit Windows "Program Files (x86)",
    // on 32-bit Windows "Program Files", where the shipped program lives.
    PWSTR folder = nullptr;
    std::string root;
    if (SUCCEEDED(::SHGetKnownFolderPath(kProgramFilesX86, 0, nullptr, &folder)) && folder != nullptr &&
        folder[0] != L'\0')
        root = Utf8(folder) + "\\" + kHomeFolder;
    ::CoTaskMemFree(folder);
    return root;
}

std::string HomeFolderName(const std::string& entryKey)
{
    std::string name = entryKey;
    for (char& c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || std::string("<>:\"/\\|?*").find(c) != std::string::npos)
            c = '_';
    }
    // The platform drops trailing dots and blanks from a name: two keys
    // would share a home, and "." or ".." would leave it.
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.back() = '_';
    return name;
}

std::string ProductHome(const std::string& entryKey)
{
    const std::string root = ProductHomeRoot();
    if (entryKey.empty() || root.empty())
        return std::string();
    return root + "\\" + HomeFolderName(entryKey);
}

std::string HomeProgramPath(const std::string& home)
{
    return home + "\\" + kProgramName;
}
