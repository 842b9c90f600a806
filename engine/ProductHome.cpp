#include "engine/ProductHome.h"

#include "framework/Text.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace {

// FOLDERID_ProgramFilesX86, spelled out so that no GUID library is linked in.
constexpr GUID kProgramFilesX86 = { 0x7C5A40EF, 0xA0FB, 0x4BFC, { 0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E } };

constexpr char kHomeFolder[] = "LumoInstall";
constexpr char kProgramName[] = "LumoInstall.exe";

} // namespace

std::string ProductHomeRoot()
{
    // The 32-bit view on every build: on 64-bit Windows "Program Files (x86)",
    // on 32-bit Windows "Program Files", where the shipped program lives. Asked
    // for as an item list, which the shell frees itself: no COM library is
    // needed for it.
    PIDLIST_ABSOLUTE item = nullptr;
    std::string root;
    if (SUCCEEDED(::SHGetKnownFolderIDList(kProgramFilesX86, 0, nullptr, &item)) && item != nullptr) {
        std::vector<wchar_t> folder(32768);
        if (::SHGetPathFromIDListEx(item, folder.data(), static_cast<DWORD>(folder.size()), GPFIDL_DEFAULT) &&
            folder[0] != L'\0')
            root = Utf8(folder.data()) + "\\" + kHomeFolder;
    }
    ::ILFree(item);
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
