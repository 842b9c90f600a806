#include "TestSupport.h"
#include "components/Components.h"
#include "units/ArrayAllocations.h"
#include "units/PeVersionReader.h"
#include "version/FileVersionInfo.h"
#include "version/VersionCompare.h"

#include <gtest/gtest.h>

#include <cstring>

using lumo_test::ComponentPath;
using lumo_test::PeVersionResource;
using lumo_test::ReadPeVersionResource;
namespace component = lumo_test::component;

namespace {

constexpr DWORD kEnglishUnicode = MAKELONG(0x0409, 1200);

std::string SystemFile(const char* name)
{
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string("C:\\windows\\system32\\") + name;
    return std::string(folder) + "\\" + name;
}

bool SameFixedInfo(const VS_FIXEDFILEINFO& a, const VS_FIXEDFILEINFO& b)
{
    return std::memcmp(&a, &b, sizeof(VS_FIXEDFILEINFO)) == 0;
}

// Every word of a reader that holds nothing.
void ExpectCleared(const FileVersionInfo& info)
{
    const VS_FIXEDFILEINFO zero{};
    EXPECT_FALSE(info.IsValid());
    EXPECT_TRUE(SameFixedInfo(zero, info.GetFixedInfo())) << "fixed record not zeroed";
    EXPECT_EQ(0u, info.GetFixedInfo().dwFileVersionMS);
    EXPECT_EQ(0u, info.GetFixedInfo().dwFileVersionLS);
    EXPECT_EQ(0u, info.GetTranslationCount());
    EXPECT_EQ(nullptr, info.GetTranslations());
}

// Where the fixed record of the version block starts within the first size bytes, or null.
const VS_FIXEDFILEINFO* FindFixedInfo(const BYTE* data, size_t size)
{
    for (size_t at = 0; data != nullptr && at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        DWORD word = 0;
        std::memcpy(&word, data + at, sizeof(word));
        if (word == 0xFEEF04BD)
            return reinterpret_cast<const VS_FIXEDFILEINFO*>(data + at);
    }
    return nullptr;
}

struct VersionCase {
    const char* file;
    WORD major, minor, build, revision;
};

const VersionCase kCompleteComponents[] = {
    { component::kVer6_2_0_0, 6, 2, 0, 0 },
    { component::kVer1_2_3_4, 1, 2, 3, 4 },
    { component::kVer1_2_3_5, 1, 2, 3, 5 },
    { component::kVer2_0_0_0, 2, 0, 0, 0 },
    { component::kVer1_9_9_9, 1, 9, 9, 9 },
    { component::kVer7_0_0_0, 7, 0, 0, 0 },
    { component::kVer6_65535_65535_65535, 6, 65535, 65535, 65535 },
    { component::kRegisterOk, 1, 0, 0, 0 },
};

} // namespace

TEST(FileVersionInfo, ReadsCompleteVersionResources)
{
    for (const VersionCase& c : kCompleteComponents) {
        SCOPED_TRACE(c.file);
        const std::string path = ComponentPath(c.file);
        const PeVersionResource expected = ReadPeVersionResource(path);
        ASSERT_TRUE(expected.hasFixedInfo) << expected.error;

        FileVersionInfo info;
        ASSERT_TRUE(info.Read(path.c_str()));
        EXPECT_TRUE(info.IsValid());
        const VS_FIXEDFILEINFO& fixed = info.GetFixedInfo();
        EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(c.minor, c.major)), fixed.dwFileVersionMS);
        EXPECT_EQ(static_cast<DWORD>(MAKELONG(c.revision, c.build)), fixed.dwFileVersionLS);
        EXPECT_EQ(fixed.dwFileVersionMS, fixed.dwProductVersionMS);
        EXPECT_EQ(fixed.dwFileVersionLS, fixed.dwProductVersionLS);
        EXPECT_TRUE(SameFixedInfo(expected.fixedInfo, fixed)) << "differs from the record in the file";
        ASSERT_EQ(1u, info.GetTranslationCount());
        ASSERT_NE(nullptr, info.GetTranslations());
        EXPECT_EQ(kEnglishUnicode, info.GetTranslations()[0]);
        EXPECT_NE(nullptr, info.GetVersionData());
    }
}

TEST(FileVersionInfo, Version6_2_0_0KeepsTheMajorInTheHighWord)
{
    FileVersionInfo info;
    ASSERT_TRUE(info.Read(ComponentPath(component::kVer6_2_0_0).c_str()));
    EXPECT_EQ(0x00060002u, info.GetFixedInfo().dwFileVersionMS);
    EXPECT_EQ(0u, info.GetFixedInfo().dwFileVersionLS);
}

TEST(FileVersionInfo, FixedRecordWithoutTranslationReadsAsNoVersion)
{
    const std::string path = ComponentPath(component::kNoTranslation);
    // The record is there, signed and non-zero; only the translation table is missing.
    const PeVersionResource inFile = ReadPeVersionResource(path);
    ASSERT_TRUE(inFile.hasFixedInfo) << inFile.error;
    ASSERT_FALSE(inFile.hasTranslation);
    ASSERT_EQ(static_cast<DWORD>(MAKELONG(1, 3)), inFile.fixedInfo.dwFileVersionMS);
    ASSERT_EQ(static_cast<DWORD>(MAKELONG(1, 4)), inFile.fixedInfo.dwFileVersionLS);

    FileVersionInfo info;
    EXPECT_FALSE(info.Read(path.c_str()));
    ExpectCleared(info);

    // The fixed record alone is readable, so the failure comes from the translation table.
    FileVersionInfo fixedOnly;
    ASSERT_TRUE(fixedOnly.ReadFixedInfo(path.c_str()));
    EXPECT_TRUE(SameFixedInfo(inFile.fixedInfo, fixedOnly.GetFixedInfo()));
    EXPECT_FALSE(fixedOnly.ReadTranslation());
}

TEST(FileVersionInfo, FilesWithoutVersionReadAsNoVersion)
{
    lumo_test::TempDir dir("lumo-fvi");
    lumo_test::WriteFileBytes(dir / "notes.txt", "VS_VERSION_INFO is only text here\r\n");
    lumo_test::WriteFileBytes(dir / "empty.dll", "");
    const PeVersionResource noResource = ReadPeVersionResource(ComponentPath(component::kNoVersion));
    ASSERT_TRUE(noResource.isPe) << noResource.error;
    ASSERT_FALSE(noResource.hasVersionResource);

    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        { "DLL without version resource", ComponentPath(component::kNoVersion) },
        { "text file", dir / "notes.txt" },
        { "empty file", dir / "empty.dll" },
        { "missing file", dir / "missing.dll" },
        { "folder", dir.Path() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileVersionInfo fresh;
        EXPECT_FALSE(fresh.Read(c.path.c_str()));
        ExpectCleared(fresh);

        // A failing read also forgets what an earlier read found.
        FileVersionInfo used;
        ASSERT_TRUE(used.Read(ComponentPath(component::kVer7_0_0_0).c_str()));
        EXPECT_FALSE(used.Read(c.path.c_str()));
        ExpectCleared(used);
    }
}

TEST(FileVersionInfo, NullPathKeepsTheEarlierResult)
{
    FileVersionInfo info;
    ASSERT_TRUE(info.Read(ComponentPath(component::kVer1_2_3_4).c_str()));
    const VS_FIXEDFILEINFO before = info.GetFixedInfo();
    const BYTE* data = info.GetVersionData();
    const DWORD* translations = info.GetTranslations();

    EXPECT_FALSE(info.Read(nullptr));
    EXPECT_TRUE(info.IsValid());
    EXPECT_TRUE(SameFixedInfo(before, info.GetFixedInfo()));
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(2, 1)), info.GetFixedInfo().dwFileVersionMS);
    EXPECT_EQ(static_cast<DWORD>(MAKELONG(4, 3)), info.GetFixedInfo().dwFileVersionLS);
    EXPECT_EQ(data, info.GetVersionData());
    EXPECT_EQ(translations, info.GetTranslations());
    EXPECT_EQ(1u, info.GetTranslationCount());
}

TEST(FileVersionInfo, NullPathOnAFreshObjectStaysEmpty)
{
    FileVersionInfo info;
    EXPECT_FALSE(info.Read(nullptr));
    ExpectCleared(info);
}

TEST(FileVersionInfo, SecondReadReplacesTheFirst)
{
    const std::string firstPath = ComponentPath(component::kVer6_2_0_0);
    const std::string secondPath = SystemFile("kernel32.dll");
    const PeVersionResource firstInFile = ReadPeVersionResource(firstPath);
    const PeVersionResource secondInFile = ReadPeVersionResource(secondPath);
    ASSERT_TRUE(firstInFile.hasFixedInfo) << firstInFile.error;
    ASSERT_TRUE(secondInFile.hasFixedInfo && secondInFile.hasTranslation) << secondInFile.error;
    ASSERT_FALSE(SameFixedInfo(firstInFile.fixedInfo, secondInFile.fixedInfo));
    DWORD unused = 0;
    const DWORD firstSize = ::GetFileVersionInfoSizeA(firstPath.c_str(), &unused);
    const DWORD secondSize = ::GetFileVersionInfoSizeA(secondPath.c_str(), &unused);
    ASSERT_NE(0u, firstSize);
    ASSERT_NE(0u, secondSize);

    const long liveBefore = lumo_test::LiveArrayAllocations();
    {
        FileVersionInfo info;
        ASSERT_TRUE(info.Read(firstPath.c_str()));
        EXPECT_EQ(liveBefore + 1, lumo_test::LiveArrayAllocations()) << "one block for the version data";
        const VS_FIXEDFILEINFO* firstBlock = FindFixedInfo(info.GetVersionData(), firstSize);
        ASSERT_NE(nullptr, firstBlock) << "the data block holds no fixed record";
        EXPECT_TRUE(SameFixedInfo(firstInFile.fixedInfo, *firstBlock));

        ASSERT_TRUE(info.Read(secondPath.c_str()));
        EXPECT_EQ(liveBefore + 1, lumo_test::LiveArrayAllocations()) << "the first block was not released";
        EXPECT_TRUE(SameFixedInfo(secondInFile.fixedInfo, info.GetFixedInfo()));
        const VS_FIXEDFILEINFO* secondBlock = FindFixedInfo(info.GetVersionData(), secondSize);
        ASSERT_NE(nullptr, secondBlock) << "the data block holds no fixed record";
        EXPECT_TRUE(SameFixedInfo(secondInFile.fixedInfo, *secondBlock)) << "the data block still holds the first file";
        ASSERT_GE(info.GetTranslationCount(), 1u);
        EXPECT_EQ(secondInFile.firstTranslation, info.GetTranslations()[0]);
    }
    EXPECT_EQ(liveBefore, lumo_test::LiveArrayAllocations()) << "the block outlived its reader";
}

TEST(FileVersionInfo, FailedReadsLeakNothing)
{
    const long liveBefore = lumo_test::LiveArrayAllocations();
    {
        FileVersionInfo info;
        EXPECT_FALSE(info.Read(ComponentPath(component::kNoTranslation).c_str()));
        EXPECT_FALSE(info.Read(ComponentPath(component::kNoVersion).c_str()));
        EXPECT_TRUE(info.Read(ComponentPath(component::kVer2_0_0_0).c_str()));
        EXPECT_FALSE(info.Read(ComponentPath(component::kNoTranslation).c_str()));
        EXPECT_EQ(liveBefore, lumo_test::LiveArrayAllocations()) << "a failed read keeps a block";
    }
    EXPECT_EQ(liveBefore, lumo_test::LiveArrayAllocations());
}

TEST(FileVersionInfo, SystemDllsMatchTheRecordInTheFile)
{
    for (const char* name : { "kernel32.dll", "version.dll", "comctl32.dll", "oleaut32.dll", "user32.dll" }) {
        const std::string path = SystemFile(name);
        SCOPED_TRACE(path);
        ASSERT_TRUE(lumo_test::FileExists(path));
        const PeVersionResource inFile = ReadPeVersionResource(path);
        ASSERT_TRUE(inFile.hasFixedInfo) << inFile.error;
        ASSERT_TRUE(inFile.hasTranslation) << inFile.error;

        FileVersionInfo info;
        ASSERT_TRUE(info.Read(path.c_str()));
        EXPECT_EQ(inFile.fixedInfo.dwFileVersionMS, info.GetFixedInfo().dwFileVersionMS);
        EXPECT_EQ(inFile.fixedInfo.dwFileVersionLS, info.GetFixedInfo().dwFileVersionLS);
        EXPECT_TRUE(SameFixedInfo(inFile.fixedInfo, info.GetFixedInfo()));
        ASSERT_GE(info.GetTranslationCount(), 1u);
        EXPECT_EQ(inFile.firstTranslation, info.GetTranslations()[0]);

        const FileVersion version = ReadFileVersion(path);
        EXPECT_EQ(HIWORD(inFile.fixedInfo.dwFileVersionMS), version.major);
        EXPECT_EQ(LOWORD(inFile.fixedInfo.dwFileVersionMS), version.minor);
        EXPECT_EQ(HIWORD(inFile.fixedInfo.dwFileVersionLS), version.build);
        EXPECT_EQ(LOWORD(inFile.fixedInfo.dwFileVersionLS), version.revision);
    }
}
