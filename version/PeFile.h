// What the installer and the delivery checker need to know of a program file
// without loading it: loading a delivery's DLL would run its code, and the
// platform's version functions trust the lengths written in the file. Every
// offset and length read here is checked against the file and against the
// structure that holds it, and every walk is bounded by what that structure
// can hold, so a crafted file can neither make the reader leave its bounds
// nor keep it busy.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class PeKind {
    Missing, // the file cannot be opened
    Empty, // 0 bytes
    NotProgram, // no MZ or PE signature, or an optional header neither PE32 nor PE32+
    Damaged, // headers that do not hold together: e_lfanew, optional header or section table past the end
    Image,
};

struct PeFile {
    PeKind kind = PeKind::Missing;
    // From the file header, as far as it could be read (a Damaged file may have them).
    WORD machine = 0;
    bool isDll = false;
    bool is64 = false; // a PE32+ optional header
    // The file is shorter than its own headers say: a section's raw data, or
    // the certificate table of a signed file, runs past the end. The kind is
    // still what the headers decide; the installer treats such a target as missing.
    bool truncated = false;
    // The export table names DllRegisterServer / DllUnregisterServer, found
    // the way the loader finds a name: by binary search of the sorted table.
    bool exportsRegister = false;
    bool exportsUnregister = false;
    // DLL names of the import and the delay-import table, in table order, as
    // written in the file. A walk stops at the first name it cannot read.
    std::vector<std::string> imports;
    std::vector<std::string> delayImports;
    // An RT_VERSION entry exists, or the resource directory is too damaged to
    // rule one out.
    bool hasVersionResource = false;
    // Every entry of the RT_VERSION subtree (each name, each language), its
    // data entry and its version block passed the checks.
    bool versionSound = false;
    // From the block the platform reads; zero unless versionSound and the
    // block holds a signed fixed record.
    VS_FIXEDFILEINFO fixedInfo{};
    // \VarFileInfo\Translation holds at least one DWORD in that block (only when versionSound).
    bool hasTranslation = false;
    // That block as the file holds it, and where its translation table lies
    // in it: what the platform's version functions would copy and query.
    std::vector<BYTE> versionBlock;
    size_t translationOffset = 0;
    size_t translationBytes = 0;
    // Why the file could not be opened (Missing).
    DWORD openError = ERROR_SUCCESS;
    // What the reader took from the file, in bytes: the work a crafted file
    // made it do, whatever the file's size.
    ULONGLONG bytesRead = 0;
};

PeFile ReadPeFile(const std::string& path);
// The same, from a file open for reading; the file's position is left
// anywhere.
PeFile ReadPeFile(HANDLE file);
