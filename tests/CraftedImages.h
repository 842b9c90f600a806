// Program files made byte by byte for the tests: sound 32-bit DLLs and
// programs with a chosen version resource, exports and imports, and the parts
// a test spoils to make a damaged or hostile one. None of them is ever loaded.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace lumo_crafted {

constexpr WORD kBinary = 0;
constexpr WORD kText = 1;
constexpr DWORD kSectionRva = 0x1000;
constexpr DWORD kFileAlignment = 0x200;

template <class T>
void Put(std::string& bytes, size_t at, const T& value)
{
    std::memcpy(&bytes[at], &value, sizeof(value));
}

template <class T>
std::string Patched(std::string bytes, size_t at, const T& value)
{
    Put(bytes, at, value);
    return bytes;
}

template <class T>
std::string Bytes(const T& value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

DWORD Align(size_t value, DWORD alignment);
std::string Padded(std::string bytes, DWORD alignment = 4);
std::string Utf16(const std::string& ascii, bool terminated = true);

// A version block whose lengths follow from its parts.
std::string Block(const char* key, WORD type, const std::string& value, const std::string& children = "",
                  bool terminated = true);

// File version 1.2.3.4 unless given.
VS_FIXEDFILEINFO SampleFixedInfo(DWORD versionMS = 0x00010002, DWORD versionLS = 0x00030004);

// The leaves of a version resource, for the cases to spoil.
struct VersionParts {
    std::string fixed = Bytes(SampleFixedInfo());
    std::string string = Block("FileVersion", kText, Utf16("1.2.3.4"));
    std::string translation = Block("Translation", kBinary, Bytes(DWORD{ 0x04B00409 }));
};

std::string VersionData(const VersionParts& parts = VersionParts());

// A PE32 image: headers, then one section with an export table, an import
// table of the given DLLs and a delay-import table of one, and a resource
// directory of one version resource under as many languages as asked (none
// when version is empty). Extra sections come first in the table, so that a
// scan meets the one in use last. The file offsets of what the cases spoil
// are kept.
struct Image {
    std::string bytes;
    size_t directories = 0, section = 0, exports = 0, imports = 0, resources = 0, dataEntry = 0;
    DWORD sectionData = 0; // bytes of the section that the file backs

    size_t Directory(int index) const { return directories + index * sizeof(IMAGE_DATA_DIRECTORY); }
};

extern const std::vector<std::string> kRegisteringNames;

Image BuildImage(const std::string& version = VersionData(), const std::vector<std::string>& names = kRegisteringNames,
                 WORD extraSections = 0, WORD languages = 1,
                 const std::vector<std::string>& imports = { "lumohelper.dll" }, bool dll = true);

// The image with an export table claiming 0xFFFFFFF0 names in one section of
// almost 64 MB: grown to 64 MB, only an export walk could be kept busy.
std::string WithEndlessExportNames(const Image& sound);

// A 32-bit component as a packager delivers it: a.b.c.d with its translation
// table, DllRegisterServer, system imports only.
struct ComponentMake {
    WORD version[4] = { 1, 0, 0, 0 };
    bool versionResource = true;
    bool translation = true;
    bool registers = true;
    std::vector<std::string> imports = { "kernel32.dll", "msvcrt.dll" };
    bool dll = true;
};
std::string Component(const ComponentMake& make);
// The same from a test component's name ("ver_1_2_3_4.dll", "reg_no_entry.dll",
// "ver_none.dll", ...), for deliveries that the checker reads the same way in
// both builds.
std::string ComponentLike(const std::string& componentName);

// The hostile files that the installer and the checker must survive, each
// read as a file without a readable version but the last, whose version is
// sound and whose export table is not. Each imports kernel32.dll alone.
struct HostileFile {
    const char* name;
    std::string bytes;
    ULONGLONG size; // grown to this size without writing (kept sparse); 0 for none
};
std::vector<HostileFile> HostileFiles();

// The most the bounded reader may take from any crafted file. The greediest
// of them (1024 languages sharing one block) costs it about 4 MB; a reader
// that walked a crafted table to its declared end, or read the 64 MB file
// whole, would pass it.
constexpr ULONGLONG kMostBytesRead = 24ull << 20;

// Writes the bytes, then grows the file to size without writing the rest.
void WriteGrown(const std::string& path, const std::string& bytes, ULONGLONG size);

} // namespace lumo_crafted
