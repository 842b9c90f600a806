// Helpers shared by the test programs: temporary folders, files, the
// description file beside the test program, registry clean-up. Paths are
// UTF-8, as in the product.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace lumo_test {

// A bound on time that only catches a hang: no test holds the machine's
// speed. It is at least ten times the worst time any bounded step took on a
// 2-core machine running both builds' suites and a full build at once. Speed
// is measured by the benchmark (bench/), not here.
constexpr double kHangSeconds = 120.0;

// Starts a program through create (a call of CreateProcess). Wine 8.0 now and
// then, on a quiet machine too, reports ERROR_INTERNAL_ERROR for a new process
// lost before it had finished starting; none of the program's code has run
// then, so starting it again tests the same thing. Any other failure stands,
// its error left for GetLastError.
template <typename Create>
bool StartProgram(Create create)
{
    for (int attempt = 1;; ++attempt) {
        if (create())
            return true;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3)
            return false;
        std::fprintf(stderr, "Wine lost a new process before it had started (error 1359): starting it again\n");
    }
}

// A fresh folder below the temporary folder, removed with all it holds.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "lumo");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void RemoveTree(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);
// The names in a folder in the order the file system lists them, without "." and "..".
std::vector<std::string> ListEntries(const std::string& folder);
bool DirectoryExists(const std::string& path);
// A link to a folder for the object's lifetime (a relative target is taken
// from the link's own folder, as "." for the folder that holds it; a full
// one as it is). Windows
// makes it a symbolic link; Wine 8 makes none, so there it is a link of the
// host's file system, which Wine follows as Windows follows its own.
class FolderLink {
public:
    FolderLink(const std::string& link, const std::string& target);
    ~FolderLink();
    FolderLink(const FolderLink&) = delete;
    FolderLink& operator=(const FolderLink&) = delete;

private:
    std::string link_;
    bool hostLink_ = false;
};

// The lines of a text, cut at CR LF (a last line without one is kept).
std::vector<std::string> SplitLines(const std::string& text);
// The lines of a text cut at LF, a CR before it dropped: for files whose line
// ends are not what is under test.
std::vector<std::string> SplitLinesAnyEnd(const std::string& text);

// The folder of the running test program, where the product looks for
// Installatore.ini.
std::string TestProgramFolder();

// Installatore.ini beside the test program for the lifetime of the object.
class ScopedInstallDescription {
public:
    explicit ScopedInstallDescription(const std::string& content);
    ~ScopedInstallDescription();
    ScopedInstallDescription(const ScopedInstallDescription&) = delete;
    ScopedInstallDescription& operator=(const ScopedInstallDescription&) = delete;
    void Rewrite(const std::string& content) const;

private:
    std::string path_;
};

// Registry helpers. HKEY_LOCAL_MACHINE is reached through the view the
// product reads (the 32-bit one) unless a view flag is given; other roots
// are used as they are.
constexpr REGSAM kProductView = 0;
void DeleteRegistryTree(HKEY root, const std::string& subKey, REGSAM view = kProductView);
bool RegistryKeyExists(HKEY root, const std::string& subKey, REGSAM view = kProductView);
// False when the value is absent.
bool ReadRegistryString(HKEY root, const std::string& subKey, const std::string& name, std::string& value,
                        REGSAM view = kProductView);
void WriteRegistryString(HKEY root, const std::string& subKey, const std::string& name, const std::string& value,
                         REGSAM view = kProductView);
// Writes raw bytes of any type (no terminator is added).
void WriteRegistryValue(HKEY root, const std::string& subKey, const std::string& name, DWORD type,
                        const std::string& bytes, REGSAM view = kProductView);

// Deletes the count below ...\CurrentVersion\SharedDLLs of the path, if any.
void RemoveSharedCount(const std::string& path);

// The local date as yyyymmdd.
std::string Today();

} // namespace lumo_test
