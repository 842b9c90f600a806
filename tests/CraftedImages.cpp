#include "CraftedImages.h"

#include "framework/Handles.h"
#include "framework/Text.h"

#include <cstddef>
#include <cstdio>
#include <stdexcept>

namespace lumo_crafted {

const std::vector<std::string> kRegisteringNames = { "DllRegisterServer", "DllUnregisterServer" };

DWORD Align(size_t value, DWORD alignment)
{
    return static_cast<DWORD>((value + alignment - 1) / alignment * alignment);
}

std::string Padded(std::string bytes, DWORD alignment)
{
    bytes.resize(Align(bytes.size(), alignment), '\0');
    return bytes;
}

std::string Utf16(const std::string& ascii, bool terminated)
{
    std::string bytes;
    for (char c : ascii)
        bytes += { c, '\0' };
    return terminated ? bytes + std::string(2, '\0') : bytes;
}

std::string Block(const char* key, WORD type, const std::string& value, const std::string& children, bool terminated)
{
    std::string block = std::string(6, '\0') + Utf16(key, terminated);
    if (!value.empty() || !children.empty())
        block = Padded(block) + value;
    if (!children.empty())
        block = Padded(block) + children;
    Put(block, 0, static_cast<WORD>(block.size()));
    Put(block, 2, static_cast<WORD>(type == kText ? value.size() / 2 : value.size()));
    Put(block, 4, type);
    return block;
}

VS_FIXEDFILEINFO SampleFixedInfo(DWORD versionMS, DWORD versionLS)
{
    return { 0xFEEF04BD, 0x00010000,       versionMS, versionLS, versionMS, versionLS, VS_FFI_FILEFLAGSMASK,
             0,          VOS_NT_WINDOWS32, VFT_DLL,   0,         0,         0 };
}

std::string VersionData(const VersionParts& parts)
{
    const std::string strings = Block("StringFileInfo", kText, "", Block("040904B0", kText, "", parts.string));
    return Block("VS_VERSION_INFO", kBinary, parts.fixed,
                 Padded(strings) + Block("VarFileInfo", kText, "", parts.translation));
}

Image BuildImage(const std::string& version, const std::vector<std::string>& names, WORD extraSections,
                 WORD languages, const std::vector<std::string>& importNames, bool dll)
{
    Image image;
    const size_t optional = 0x40 + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    image.directories = optional + offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    image.section = optional + sizeof(IMAGE_OPTIONAL_HEADER32) + extraSections * sizeof(IMAGE_SECTION_HEADER);
    const DWORD content = Align(image.section + sizeof(IMAGE_SECTION_HEADER), kFileAlignment);
    auto rva = [](size_t at) { return static_cast<DWORD>(kSectionRva + at); };

    // Function addresses, name pointers and ordinals after the directory.
    const DWORD count = static_cast<DWORD>(names.size());
    const size_t table = sizeof(IMAGE_EXPORT_DIRECTORY);
    std::string s = Padded(std::string(table + 10 * count, '\0'));
    Put(s, 0,
        IMAGE_EXPORT_DIRECTORY{ 0, 0, 0, 0, rva(s.size()), 1, count, count, rva(table), rva(table + 4 * count),
                                rva(table + 8 * count) });
    s += std::string("built.dll") + '\0';
    for (DWORD i = 0; i < count; ++i) {
        Put(s, table + 4 * i, rva(0));
        Put(s, table + 4 * (count + i), rva(s.size()));
        Put(s, table + 8 * count + 2 * i, static_cast<WORD>(i));
        s += names[i] + '\0';
    }
    const DWORD exportSize = static_cast<DWORD>(s.size());

    // The import table of one descriptor per DLL and a terminator, every thunk
    // list empty; the delay-import table of one descriptor and a terminator.
    s = Padded(s);
    const size_t descriptors = sizeof(IMAGE_IMPORT_DESCRIPTOR) * (importNames.size() + 1);
    const size_t imports = s.size(), delay = imports + descriptors, thunks = delay + 64;
    s.resize(thunks + 4);
    for (size_t i = 0; i < importNames.size(); ++i) {
        const size_t at = imports + i * sizeof(IMAGE_IMPORT_DESCRIPTOR);
        Put(s, at + offsetof(IMAGE_IMPORT_DESCRIPTOR, OriginalFirstThunk), rva(thunks));
        Put(s, at + offsetof(IMAGE_IMPORT_DESCRIPTOR, FirstThunk), rva(thunks));
        Put(s, at + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name), rva(s.size()));
        s += importNames[i] + '\0';
    }
    Put(s, delay, DWORD{ 1 }); // its addresses are RVAs
    Put(s, delay + offsetof(IMAGE_DELAYLOAD_DESCRIPTOR, DllNameRVA), rva(s.size()));
    s = Padded(s + "delayed.dll" + '\0');

    // Type 16 and name 1, directories of one entry; the languages from 0x0409 on share one data entry.
    const size_t resources = s.size();
    const DWORD dataEntry = 64 + 8 * languages;
    const DWORD levels[][3] = { { 16, 0x80000000u | 24, 1 },
                                { 1, 0x80000000u | 48, 1 },
                                { 0x0409, dataEntry, languages } };
    if (!version.empty()) {
        s.resize(s.size() + dataEntry + sizeof(IMAGE_RESOURCE_DATA_ENTRY));
        for (int level = 0; level < 3; ++level) {
            Put(s, resources + 24 * level + offsetof(IMAGE_RESOURCE_DIRECTORY, NumberOfIdEntries),
                WORD(levels[level][2]));
            for (DWORD entry = 0; entry < levels[level][2]; ++entry) {
                Put(s, resources + 24 * level + 16 + 8 * entry, levels[level][0] + entry);
                Put(s, resources + 24 * level + 20 + 8 * entry, levels[level][1]);
            }
        }
        Put(s, resources + dataEntry,
            IMAGE_RESOURCE_DATA_ENTRY{ rva(s.size()), static_cast<DWORD>(version.size()), 0, 0 });
        s += version;
    }
    image.sectionData = static_cast<DWORD>(s.size());
    s = Padded(s, kFileAlignment);
    image.exports = content;
    image.imports = content + imports;
    image.resources = content + resources;
    image.dataEntry = image.resources + dataEntry;

    std::string& b = image.bytes;
    b.assign(content, '\0');
    Put(b, 0, IMAGE_DOS_SIGNATURE);
    Put(b, 0x3C, LONG{ 0x40 });
    Put(b, 0x40, DWORD{ IMAGE_NT_SIGNATURE });
    Put(b, 0x44,
        IMAGE_FILE_HEADER{ IMAGE_FILE_MACHINE_I386, static_cast<WORD>(extraSections + 1), 0, 0, 0,
                           sizeof(IMAGE_OPTIONAL_HEADER32),
                           static_cast<WORD>(IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE |
                                             (dll ? IMAGE_FILE_DLL : 0)) });
    const DWORD extraRva = Align(kSectionRva + image.sectionData, 0x1000);
    IMAGE_OPTIONAL_HEADER32 header{};
    header.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    header.ImageBase = 0x10000000;
    header.SectionAlignment = 0x1000;
    header.FileAlignment = kFileAlignment;
    header.MajorOperatingSystemVersion = header.MajorSubsystemVersion = 4;
    header.SizeOfImage = extraRva + extraSections * 0x1000;
    header.SizeOfHeaders = content;
    header.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_GUI;
    header.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    header.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT] = { kSectionRva, exportSize };
    header.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = { rva(imports), static_cast<DWORD>(descriptors) };
    if (!version.empty())
        header.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = { rva(resources),
                                                                 image.sectionData - DWORD(resources) };
    header.DataDirectory[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT] = { rva(delay), 64 };
    Put(b, optional, header);
    for (WORD i = 0; i <= extraSections; ++i) {
        const bool used = i == extraSections;
        IMAGE_SECTION_HEADER section{};
        std::memcpy(section.Name, used ? ".rdata" : ".extra", 6);
        section.VirtualAddress = used ? kSectionRva : extraRva + i * 0x1000;
        section.Misc.VirtualSize = used ? image.sectionData : kFileAlignment;
        section.SizeOfRawData = used ? static_cast<DWORD>(s.size()) : kFileAlignment;
        section.PointerToRawData = content;
        section.Characteristics = IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ;
        Put(b, optional + sizeof(header) + i * sizeof(section), section);
    }
    b += s;
    return image;
}

std::string Component(const ComponentMake& make)
{
    VersionParts parts;
    parts.fixed = Bytes(SampleFixedInfo(MAKELONG(make.version[1], make.version[0]),
                                        MAKELONG(make.version[3], make.version[2])));
    if (!make.translation)
        parts.translation = Block("Other", kBinary, "1234");
    const std::string version = make.versionResource ? VersionData(parts) : std::string();
    return BuildImage(version, make.registers ? kRegisteringNames : std::vector<std::string>{ "Other" }, 0, 1,
                      make.imports, make.dll)
        .bytes;
}

std::string ComponentLike(const std::string& componentName)
{
    ComponentMake make;
    unsigned parts[4] = {};
    if (std::sscanf(componentName.c_str(), "ver_%u_%u_%u_%u.dll", &parts[0], &parts[1], &parts[2], &parts[3]) == 4) {
        for (int i = 0; i < 4; ++i)
            make.version[i] = static_cast<WORD>(parts[i]);
    } else if (componentName == "ver_no_translation.dll") {
        make.version[0] = 3, make.version[1] = 1, make.version[2] = 4, make.version[3] = 1;
        make.translation = false;
    } else if (componentName == "ver_none.dll") {
        make.versionResource = false;
    } else if (componentName == "reg_no_entry.dll") {
        make.registers = false;
    } else if (componentName.compare(0, 4, "reg_") != 0) {
        throw std::invalid_argument("no crafted likeness of " + componentName);
    }
    return Component(make);
}

std::string WithEndlessExportNames(const Image& sound)
{
    const DWORD big = (64u << 20) - 0x1000;
    const size_t rawSize = sound.section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData);
    std::string bytes = sound.bytes;
    Put(bytes, sound.exports + offsetof(IMAGE_EXPORT_DIRECTORY, NumberOfNames), DWORD{ 0xFFFFFFF0 });
    Put(bytes, sound.Directory(IMAGE_DIRECTORY_ENTRY_EXPORT), IMAGE_DATA_DIRECTORY{ kSectionRva, big });
    Put(bytes, sound.section + offsetof(IMAGE_SECTION_HEADER, Misc), big);
    Put(bytes, rawSize, big);
    return bytes;
}

std::vector<HostileFile> HostileFiles()
{
    const Image sound = BuildImage(VersionData(), kRegisteringNames, 0, 1, { "kernel32.dll" });
    const std::string& good = sound.bytes;
    const size_t dataSize = sound.dataEntry + offsetof(IMAGE_RESOURCE_DATA_ENTRY, Size);
    return {
        { "resource directory past its section",
          Patched(good, sound.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE),
                  IMAGE_DATA_DIRECTORY{ kSectionRva + sound.sectionData - 8, 16 }),
          0 },
        { "resource directory past the end of the file",
          Patched(good, sound.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE), IMAGE_DATA_DIRECTORY{ 0x00F00000, 0x100 }),
          0 },
        { "data entry of size 0xFFFFFFFF", Patched(good, dataSize, DWORD{ 0xFFFFFFFF }), 0 },
        { "version block of wLength 0xFFFF", Patched(good, sound.dataEntry + 16, WORD{ 0xFFFF }), 0 },
        { "version block lengths all 0xFFFF",
          Patched(Patched(good, sound.dataEntry + 16, WORD{ 0xFFFF }), sound.dataEntry + 18, WORD{ 0xFFFF }), 0 },
        // A version that reads soundly in 64 MB whose export table claims
        // 0xFFFFFFF0 names: only the export walk could be kept busy.
        { "64 MB with NumberOfNames 0xFFFFFFF0",
          WithEndlessExportNames(sound),
          64ull << 20 },
    };
}

void WriteGrown(const std::string& path, const std::string& bytes, ULONGLONG size)
{
    FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!file || !::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size() ||
        (size > bytes.size() &&
         (!::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.Get()))))
        throw std::runtime_error("cannot write " + path);
}

} // namespace lumo_crafted
