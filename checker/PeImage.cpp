#include "checker/PeImage.h"

#include "framework/Handles.h"
#include "framework/Text.h"

#include <cstring>
#include <vector>

namespace {

// Reads at offsets of an open file; every read is checked against the size,
// so a header that points past the end never reads outside the file.
class FileBytes {
public:
    explicit FileBytes(const std::string& path)
        : file_(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        LARGE_INTEGER size{};
        if (file_ && ::GetFileSizeEx(file_.Get(), &size))
            size_ = static_cast<ULONGLONG>(size.QuadPart);
    }

    bool Read(ULONGLONG offset, void* buffer, DWORD count) const
    {
        if (!file_ || offset > size_ || count > size_ - offset)
            return false;
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        return ::SetFilePointerEx(file_.Get(), at, nullptr, FILE_BEGIN) &&
               ::ReadFile(file_.Get(), buffer, count, &read, nullptr) && read == count;
    }

    template <class T>
    bool Read(ULONGLONG offset, T& value) const
    {
        return Read(offset, &value, sizeof(T));
    }

private:
    FileHandle file_;
    ULONGLONG size_ = 0;
};

struct Section {
    DWORD virtualAddress;
    DWORD virtualSize;
    DWORD rawOffset;
    DWORD rawSize;
};

// The file offset of an address of the loaded image, through the section
// that holds it.
bool FileOffset(const std::vector<Section>& sections, DWORD rva, ULONGLONG& offset)
{
    for (const Section& s : sections) {
        const DWORD extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < extent && rva - s.virtualAddress < s.rawSize) {
            offset = static_cast<ULONGLONG>(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

bool ExportsName(const FileBytes& bytes, const std::vector<Section>& sections, const IMAGE_DATA_DIRECTORY& directory,
                 const char* wanted)
{
    ULONGLONG at = 0;
    IMAGE_EXPORT_DIRECTORY exports{};
    if (directory.VirtualAddress == 0 || !FileOffset(sections, directory.VirtualAddress, at) ||
        !bytes.Read(at, exports))
        return false;
    ULONGLONG names = 0;
    if (exports.NumberOfNames == 0 || !FileOffset(sections, exports.AddressOfNames, names))
        return false;
    const size_t wantedLength = std::strlen(wanted);
    std::vector<char> name(wantedLength + 1);
    for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
        DWORD nameRva = 0;
        ULONGLONG nameAt = 0;
        if (!bytes.Read(names + 4ull * i, nameRva))
            return false;
        // A name shorter than the wanted one may end the file early; skip it.
        if (FileOffset(sections, nameRva, nameAt) && bytes.Read(nameAt, name.data(), static_cast<DWORD>(name.size())) &&
            std::memcmp(name.data(), wanted, wantedLength) == 0 && name[wantedLength] == '\0')
            return true;
    }
    return false;
}

} // namespace

PeImage ReadPeImage(const std::string& path)
{
    PeImage image;
    const FileBytes bytes(path);
    IMAGE_DOS_HEADER dos{};
    if (!bytes.Read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0)
        return image;
    const ULONGLONG headers = static_cast<ULONGLONG>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER file{};
    if (!bytes.Read(headers, signature) || signature != IMAGE_NT_SIGNATURE ||
        !bytes.Read(headers + sizeof(signature), file))
        return image;
    const ULONGLONG optional = headers + sizeof(signature) + sizeof(file);

    // The two header layouts differ in size; both end in the data directories.
    WORD magic = 0;
    IMAGE_DATA_DIRECTORY exportDirectory{};
    DWORD directoryCount = 0;
    if (!bytes.Read(optional, magic))
        return image;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        IMAGE_OPTIONAL_HEADER32 header{};
        if (file.SizeOfOptionalHeader < sizeof(header) || !bytes.Read(optional, header))
            return image;
        directoryCount = header.NumberOfRvaAndSizes;
        exportDirectory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        IMAGE_OPTIONAL_HEADER64 header{};
        if (file.SizeOfOptionalHeader < sizeof(header) || !bytes.Read(optional, header))
            return image;
        directoryCount = header.NumberOfRvaAndSizes;
        exportDirectory = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    } else {
        return image;
    }
    image.isPe = true;
    image.machine = file.Machine;
    image.isDll = (file.Characteristics & IMAGE_FILE_DLL) != 0;
    if (directoryCount <= IMAGE_DIRECTORY_ENTRY_EXPORT)
        return image;

    std::vector<Section> sections;
    const ULONGLONG table = optional + file.SizeOfOptionalHeader;
    for (WORD i = 0; i < file.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER header{};
        if (!bytes.Read(table + static_cast<ULONGLONG>(i) * sizeof(header), header))
            break;
        sections.push_back({ header.VirtualAddress, header.Misc.VirtualSize, header.PointerToRawData,
                             header.SizeOfRawData });
    }
    image.exportsRegister = ExportsName(bytes, sections, exportDirectory, "DllRegisterServer");
    return image;
}

const char* MachineBits(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386:
        return "32";
    case IMAGE_FILE_MACHINE_AMD64:
    case IMAGE_FILE_MACHINE_ARM64:
    case IMAGE_FILE_MACHINE_IA64:
        return "64";
    default:
        return "";
    }
}
