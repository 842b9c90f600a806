#include "CraftedImages.h"
#include "TestSupport.h"
#include "components/Components.h"
#include "framework/Handles.h"
#include "framework/Text.h"
#include "version/PeFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace component = lumo_test::component;
using namespace lumo_crafted;

namespace {

constexpr WORD kOwnMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
constexpr WORD kOtherMachine = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;

// The version resource as the platform's wide functions read it: the fixed
// record when it is signed, and whether a translation table is there.
struct PlatformVersion {
    bool read = false;
    VS_FIXEDFILEINFO fixedInfo{};
    bool hasTranslation = false;
};

PlatformVersion ReadWithPlatform(const std::string& path)
{
    PlatformVersion result;
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(Wide(path).c_str(), &unused);
    std::vector<BYTE> data(size);
    result.read = size != 0 && ::GetFileVersionInfoW(Wide(path).c_str(), 0, size, data.data());
    void* value = nullptr;
    UINT length = 0;
    if (result.read && ::VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO) &&
        static_cast<const VS_FIXEDFILEINFO*>(value)->dwSignature == 0xFEEF04BD)
        std::memcpy(&result.fixedInfo, value, sizeof(result.fixedInfo));
    result.hasTranslation = result.read &&
                            ::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
                            length >= sizeof(DWORD);
    return result;
}

bool SameFixedInfo(const VS_FIXEDFILEINFO& a, const VS_FIXEDFILEINFO& b)
{
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

enum Flags { kVersion = 1, kSound = 2, kFixed = 4, kTranslation = 8, kTruncated = 16, kRegisters = 32 };

struct CraftedCase {
    const char* name;
    std::string bytes;
    int flags;
    PeKind kind = PeKind::Image;
    const char* import = "lumohelper.dll"; // the only import of an image, or null for none
};

} // namespace

TEST(PeFile, CraftedImagesStayInBoundsAndReturnQuickly)
{
    const Image sound = BuildImage();
    const std::string& good = sound.bytes;
    auto spoil = [&sound](const std::function<void(Image&)>& change) {
        Image image = sound;
        change(image);
        return image.bytes;
    };
    auto version = [](const std::function<void(VersionParts&)>& change) {
        VersionParts parts;
        change(parts);
        return BuildImage(VersionData(parts)).bytes;
    };
    auto languages = [](WORD count) {
        VersionParts parts;
        parts.string = Block("Comments", kText, Utf16(std::string(29000, 'x')));
        return BuildImage(VersionData(parts), kRegisteringNames, 0, count).bytes;
    };
    std::vector<std::string> manyNames = kRegisteringNames;
    for (int n = 0; n < 100000; ++n) {
        char name[16];
        std::snprintf(name, sizeof(name), "N%06d", n);
        manyNames.push_back(name);
    }
    const size_t dataSize = sound.dataEntry + offsetof(IMAGE_RESOURCE_DATA_ENTRY, Size);
    const size_t importName = sound.imports + offsetof(IMAGE_IMPORT_DESCRIPTOR, Name);
    const size_t rawSize = sound.section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData);
    const size_t certificates = sound.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
    const DWORD end = static_cast<DWORD>(good.size());
    const int kAll = kVersion | kSound | kFixed | kTranslation | kRegisters;
    const int kBroken = kVersion | kRegisters;
    const std::string fixed = Bytes(SampleFixedInfo());
    const std::string sample = VersionData();
    std::string deep = Block("Leaf", kText, Utf16("x"));
    for (int level = 0; level < 8; ++level)
        deep = Block("Level", kText, "", deep);
    auto raw = [](const std::string& version) { return BuildImage(version).bytes; };

    const CraftedCase cases[] = {
        { "sound", good, kAll },
        { "resource directory runs past its section",
          Patched(good, sound.Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE),
                  IMAGE_DATA_DIRECTORY{ kSectionRva + sound.sectionData - 8, 16 }),
          kBroken },
        { "type directory claims 65535 entries", Patched(good, sound.resources + 14, WORD{ 0xFFFF }), kBroken },
        { "name directory claims 65535 entries", Patched(good, sound.resources + 38, WORD{ 0xFFFF }), kBroken },
        // The language directory moved to the end of the section's data, its second entry in the raw padding beyond.
        { "language table runs past its section's data", spoil([](Image& i) {
              const size_t at = i.exports + Align(i.sectionData, 4);
              const DWORD languages[] = { 0, 0, 0, 2 << 16, 0x0409, 72, 0x0409, 72 };
              i.bytes.resize(std::max(i.bytes.size(), at + sizeof(languages)));
              Put(i.bytes, at, languages);
              Put(i.bytes, i.resources + 44, 0x80000000u | static_cast<DWORD>(at - i.resources));
              Put(i.bytes, i.section + offsetof(IMAGE_SECTION_HEADER, Misc), static_cast<DWORD>(at - i.exports + 24));
          }),
          kBroken },
        { "version resource over 64 KB", raw(sample + std::string(0x10000, '\0')), kBroken },
        { "data entry of size 0xFFFFFFFF", Patched(good, dataSize, DWORD{ 0xFFFFFFFF }), kBroken },
        { "data entry runs past its section's data", Patched(good, dataSize, sound.sectionData), kBroken },
        { "data entry past the file", Patched(good, sound.dataEntry, DWORD{ 0x00F00000 }), kBroken },
        { "version block of wLength 0xFFFF", Patched(good, sound.dataEntry + 16, WORD{ 0xFFFF }), kBroken },
        { "child longer than its parent", version([](VersionParts& p) { Put(p.translation, 0, WORD{ 40 }); }),
          kBroken },
        { "text value longer than its block", version([](VersionParts& p) { Put(p.string, 2, WORD{ 0x100 }); }),
          kBroken },
        { "child of wLength 0", version([](VersionParts& p) { Put(p.translation, 0, WORD{ 0 }); }), kBroken },
        { "key without terminator",
          version([](VersionParts& p) { p.string = Block("Comments", kText, "", "", false); }), kBroken },
        { "resource one byte shorter than its root", Patched(good, dataSize, static_cast<DWORD>(sample.size() - 1)),
          kBroken },
        { "fixed record without signature", version([](VersionParts& p) { Put(p.fixed, 0, DWORD{ 0 }); }),
          kAll & ~kFixed },
        { "value shorter than a fixed record", version([](VersionParts& p) { p.fixed.resize(48); }), kAll & ~kFixed },
        { "translation shorter than a DWORD",
          version([](VersionParts& p) { p.translation = Block("Translation", kBinary, std::string(2, '\0')); }),
          kAll & ~kTranslation },
        { "no translation", version([](VersionParts& p) { p.translation = Block("Other", kBinary, "1234"); }),
          kAll & ~kTranslation },
        { "keys in other case",
          raw(Block("vs_version_info", kBinary, fixed,
                    Block("VARFILEINFO", kText, "", Block("translation", kBinary, Bytes(DWORD{ 1 }))))),
          kAll },
        { "root key other than VS_VERSION_INFO", raw(Block("VS_VERSION_INFX", kBinary, fixed)), kBroken },
        { "value type neither binary nor text", raw(Patched(sample, 4, WORD{ 2 })), kBroken },
        { "stray bytes after the last child",
          raw(Patched(sample + std::string(4, '\0'), 0, static_cast<WORD>(sample.size() + 4))), kBroken },
        { "blocks nested deeper than the format", raw(Block("VS_VERSION_INFO", kBinary, fixed, deep)), kBroken },
        // WORD cbBlock, WORD cbValue, an ANSI key, the value: no wType.
        { "16-bit format",
          raw(Patched(Patched(std::string(4, '\0') + "VS_VERSION_INFO" + '\0' + fixed, 0, WORD{ 72 }), 2, WORD{ 52 })),
          kBroken },
        { "root shorter than its header", raw(std::string("\x04\0\0\0\0\0", 6)), kBroken },
        { "16 languages sharing a 58 KB block", languages(16), kAll },
        { "1024 languages sharing a 58 KB block", languages(1024), kBroken },
        { "truncated section", Patched(good, rawSize, end - DWORD(sound.exports) + 1), kAll | kTruncated },
        { "certificate table past the end", Patched(good, certificates, IMAGE_DATA_DIRECTORY{ end - 0x10, 0x11 }),
          kAll | kTruncated },
        { "certificate table within the file", Patched(good, certificates, IMAGE_DATA_DIRECTORY{ end - 0x10, 0x10 }),
          kAll },
        { "import name in the headers", Patched(Patched(good, 0x180, "inheaders.dll"), importName, DWORD{ 0x180 }),
          kAll, PeKind::Image, "inheaders.dll" },
        { "import name beyond its section's data", Patched(good, importName, kSectionRva + sound.sectionData), kAll,
          PeKind::Image, nullptr },
        { "import name without terminator in its section",
          Patched(good, importName, kSectionRva + sound.sectionData - 4), kAll, PeKind::Image, nullptr },
        { "export names out of order", BuildImage(VersionData(), { "Alpha", "Zeta", "DllRegisterServer" }).bytes,
          kAll & ~kRegisters },
        // Past the two names the pointers are ordinals and zeros, out of order:
        // the search misses both names, as the loader's would.
        { "64 MB with NumberOfNames 0xFFFFFFF0",
          WithEndlessExportNames(sound),
          kAll & ~kRegisters },
        { "65535 sections and 100000 names", BuildImage(VersionData(), manyNames, 0xFFFE).bytes, kAll },
        { "e_lfanew past the end", Patched(good, 0x3C, LONG{ 0x7FFFFFF0 }), 0, PeKind::Damaged },
        { "optional header shorter than its fields", Patched(good, 0x54, WORD{ 64 }), 0, PeKind::Damaged },
        { "section table past the end", Patched(good, 0x46, WORD{ 0xFFFF }), 0, PeKind::Damaged },
        { "optional header neither PE32 nor PE32+", Patched(good, 0x58, WORD{ 0x107 }), 0, PeKind::NotProgram },
        { "empty file", "", 0, PeKind::Empty },
        { "text file named .dll", "[Files]\r\n", 0, PeKind::NotProgram },
        { "MZ and nothing more", "MZ", 0, PeKind::Damaged },
        { "missing file", "", 0, PeKind::Missing },
    };

    lumo_test::TempDir dir("lumo-pe");
    for (const CraftedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / (std::string(c.name) + ".dll");
        if (c.kind != PeKind::Missing)
            lumo_test::WriteFileBytes(path, c.bytes);
        if (std::strncmp(c.name, "64 MB", 5) == 0) {
            // Grown without being written: the file system keeps it sparse.
            FileHandle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            LARGE_INTEGER size{};
            size.QuadPart = 64ll << 20;
            ASSERT_TRUE(file && ::SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN) &&
                        ::SetEndOfFile(file.Get()));
        }

        const PeFile pe = ReadPeFile(path);
        ::testing::Test::RecordProperty(c.name, std::to_string(pe.bytesRead) + " bytes read");
        EXPECT_LE(pe.bytesRead, lumo_crafted::kMostBytesRead);

        EXPECT_EQ(c.kind, pe.kind);
        EXPECT_EQ((c.flags & kVersion) != 0, pe.hasVersionResource);
        EXPECT_EQ((c.flags & kSound) != 0, pe.versionSound);
        EXPECT_EQ((c.flags & kTruncated) != 0, pe.truncated);
        EXPECT_EQ((c.flags & kRegisters) != 0, pe.exportsRegister);
        EXPECT_EQ((c.flags & kRegisters) != 0, pe.exportsUnregister);
        EXPECT_TRUE(SameFixedInfo((c.flags & kFixed) != 0 ? SampleFixedInfo() : VS_FIXEDFILEINFO{}, pe.fixedInfo));
        EXPECT_EQ((c.flags & kTranslation) != 0, pe.hasTranslation);
        // What reads as sound is a real image: the platform finds the same record in it. Wine's
        // version functions refuse a truncated image (Windows's may not), which the installer
        // takes for a missing one anyway.
        const bool comparable = pe.versionSound && !pe.truncated;
        const PlatformVersion platform = comparable ? ReadWithPlatform(path) : PlatformVersion();
        EXPECT_EQ(comparable, platform.read);
        EXPECT_TRUE(SameFixedInfo(comparable ? pe.fixedInfo : VS_FIXEDFILEINFO{}, platform.fixedInfo));
        EXPECT_EQ(comparable && pe.hasTranslation, platform.hasTranslation);
        EXPECT_EQ(c.kind == PeKind::Image && c.import ? std::vector<std::string>{ c.import }
                                                      : std::vector<std::string>{},
                  pe.imports);
        if (c.kind == PeKind::Image) {
            EXPECT_EQ(IMAGE_FILE_MACHINE_I386, pe.machine);
            EXPECT_TRUE(pe.isDll && !pe.is64);
            EXPECT_EQ(std::vector<std::string>{ "delayed.dll" }, pe.delayImports);
        }
    }
}

// The test components, and system DLLs this program has loaded: large
// sorted export tables, for which the loader's own look-up tells whether a
// name is there. Wine's carry their version resource once per translation,
// some forty languages.
TEST(PeFile, RealDllsReadAsThePlatformReadsThem)
{
    struct Row {
        std::string path;
        WORD machine;
        bool versioned, registers, unregisters;
    };
    std::vector<Row> rows;
    for (const std::string file :
         { component::kVer1_2_3_4, component::kVer6_65535_65535_65535, component::kNoTranslation, component::kNoVersion,
           component::kRegisterNoEntry, component::kUsesHelper, component::kOtherBitness })
        rows.push_back({ lumo_test::ComponentPath(file), file == component::kOtherBitness ? kOtherMachine : kOwnMachine,
                         file != component::kNoVersion, file != component::kRegisterNoEntry,
                         file != component::kRegisterNoEntry });
    for (const char* name : { "kernel32.dll", "ole32.dll", "advapi32.dll", "version.dll" }) {
        const HMODULE module = ::GetModuleHandleA(name);
        wchar_t path[MAX_PATH] = {};
        ASSERT_TRUE(module != nullptr && ::GetModuleFileNameW(module, path, MAX_PATH) != 0) << name;
        rows.push_back({ Utf8(path), kOwnMachine, true, ::GetProcAddress(module, "DllRegisterServer") != nullptr,
                         ::GetProcAddress(module, "DllUnregisterServer") != nullptr });
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const PeFile pe = ReadPeFile(row.path);
        EXPECT_EQ(PeKind::Image, pe.kind);
        EXPECT_EQ(row.machine, pe.machine);
        EXPECT_EQ(row.machine == IMAGE_FILE_MACHINE_AMD64, pe.is64);
        EXPECT_TRUE(pe.isDll && !pe.truncated);
        EXPECT_EQ(row.registers, pe.exportsRegister);
        EXPECT_EQ(row.unregisters, pe.exportsUnregister);
        const bool usesHelper = row.path == lumo_test::ComponentPath(component::kUsesHelper);
        EXPECT_EQ(usesHelper, std::count(pe.imports.begin(), pe.imports.end(), "lumohelper.dll") == 1);

        const PlatformVersion platform = ReadWithPlatform(row.path);
        ASSERT_EQ(row.versioned, platform.read);
        EXPECT_EQ(platform.read, pe.hasVersionResource);
        EXPECT_EQ(platform.read, pe.versionSound);
        EXPECT_TRUE(SameFixedInfo(platform.fixedInfo, pe.fixedInfo));
        EXPECT_EQ(platform.hasTranslation, pe.hasTranslation);
    }
}
