// The machine's folders that the passes install into.
#pragma once

#include <string>
#include <vector>

// The Program Files folder from the registry (the 32-bit view); empty when it
// cannot be read.
std::string GetProgramFilesDir();

// The folder of 32-bit system components. When the shell cannot name it, the
// system folder the platform reports; fellBack tells which.
std::string GetSystemX86Dir(bool& fellBack);

// The Windows folder.
std::string GetWindowsDir();

// Makes the folder and every missing parent, silently: folders that exist,
// roots and folders that cannot be made are passed over. Each folder it made
// is added to created, when given, parents first.
// With sddl, each folder it makes has that descriptor from the start, with
// no instant in which it holds what it would inherit.
void CreateDirectoryPath(const std::string& path, std::vector<std::string>* created = nullptr,
                         const std::wstring& sddl = std::wstring());
// The folders CreateDirectoryPath would make for the path: those missing,
// parents first.
std::vector<std::string> MissingFolders(const std::string& path);
