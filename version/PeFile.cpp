#include "version/PeFile.h"

#include "framework/Handles.h"
#include "framework/Text.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// The platform reads a version resource into one buffer; none of a real
// component comes near this size.
constexpr DWORD kMaxVersionBytes = 64 * 1024;
// Languages of all RT_VERSION names together, and their bytes: a component
// carries one or a few dozen (one per translation) of a few KB. The bounds
// keep a directory whose entries all share one large block from costing a
// full check per entry.
constexpr int kMaxVersionResources = 1024;
constexpr DWORD kMaxVersionBytesInAll = 4 * 1024 * 1024;
// VS_VERSION_INFO, StringFileInfo, StringTable, String is four levels.
constexpr int kMaxBlockDepth = 8;
constexpr size_t kMaxImportedDlls = 4096;
constexpr DWORD kMaxNameBytes = 512;
constexpr DWORD kReadWindow = 16 * 1024;
constexpr DWORD kRtVersion = 16;
constexpr DWORD kVersionInfoId = 1;
constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;
constexpr DWORD kHighBit = 0x80000000u;

// Reads at offsets of an open file, every read checked against its size.
// Small reads go through one window, so that walking a table of small
// records costs a system call per window rather than one per record.
class FileBytes {
public:
    explicit FileBytes(const std::string& path)
        : owned_(::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        TakeSize(owned_.Get());
    }
    // A file the caller keeps open.
    explicit FileBytes(HANDLE file) { TakeSize(file); }

    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    ULONGLONG Size() const { return size_; }
    ULONGLONG BytesRead() const { return bytesRead_; }
    bool Holds(ULONGLONG offset, ULONGLONG count) const { return offset <= size_ && count <= size_ - offset; }

    bool Read(ULONGLONG offset, void* buffer, DWORD count)
    {
        if (!Holds(offset, count))
            return false;
        if (count > kReadWindow)
            return ReadAt(offset, buffer, count);
        if (offset < windowAt_ || offset - windowAt_ > windowSize_ || count > windowSize_ - (offset - windowAt_)) {
            window_.resize(kReadWindow);
            windowAt_ = offset;
            windowSize_ = static_cast<DWORD>(std::min<ULONGLONG>(kReadWindow, size_ - offset));
            if (!ReadAt(offset, window_.data(), windowSize_)) {
                windowSize_ = 0;
                return false;
            }
        }
        if (count != 0)
            std::memcpy(buffer, window_.data() + (offset - windowAt_), count);
        return true;
    }

    template <class T>
    bool Read(ULONGLONG offset, T& value)
    {
        return Read(offset, &value, sizeof(T));
    }

private:
    // The file may have shrunk since its size was taken: a short read fails.
    bool ReadAt(ULONGLONG offset, void* buffer, DWORD count)
    {
        bytesRead_ += count;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        return ::ReadFile(file_, buffer, count, &read, &at) && read == count;
    }

    void TakeSize(HANDLE file)
    {
        LARGE_INTEGER size{};
        if (file == INVALID_HANDLE_VALUE || !::GetFileSizeEx(file, &size))
            return;
        size_ = static_cast<ULONGLONG>(size.QuadPart);
        file_ = file;
    }

    FileHandle owned_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    ULONGLONG size_ = 0;
    ULONGLONG bytesRead_ = 0;
    std::vector<BYTE> window_;
    ULONGLONG windowAt_ = 0;
    DWORD windowSize_ = 0;
};

// Addresses of the loaded image to file offsets. Only the part of a section
// that the file backs maps: the virtual-only tail beyond its raw data holds
// nothing to read. Sorted once, so that each look-up is a binary search
// however many sections the file declares.
class AddressMap {
public:
    void Add(DWORD rva, DWORD size, DWORD rawOffset)
    {
        if (size != 0)
            sections_.push_back({ rva, size, rawOffset });
    }

    void Sort()
    {
        std::stable_sort(sections_.begin(), sections_.end(),
                         [](const Section& a, const Section& b) { return a.rva < b.rva; });
    }

    // The file offset of rva, and how many bytes of its section follow it.
    bool Find(DWORD rva, ULONGLONG& offset, DWORD& available) const
    {
        const auto after = std::upper_bound(sections_.begin(), sections_.end(), rva,
                                            [](DWORD value, const Section& s) { return value < s.rva; });
        if (after == sections_.begin())
            return false;
        const Section& s = *(after - 1);
        if (rva - s.rva >= s.size)
            return false;
        offset = static_cast<ULONGLONG>(s.rawOffset) + (rva - s.rva);
        available = s.size - (rva - s.rva);
        return true;
    }

private:
    struct Section {
        DWORD rva;
        DWORD size;
        DWORD rawOffset;
    };
    std::vector<Section> sections_;
};

struct Headers {
    DWORD sizeOfHeaders = 0;
    ULONGLONG imageBase = 0;
    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    ULONGLONG sectionTable = 0;
    WORD sectionCount = 0;
};

// Both layouts end in the data directories. A directory beyond
// NumberOfRvaAndSizes, or beyond the header's declared size, is absent.
bool ReadOptionalHeader(FileBytes& bytes, ULONGLONG at, WORD declared, bool is64, Headers& headers)
{
    const size_t fixed =
        is64 ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
    BYTE raw[sizeof(IMAGE_OPTIONAL_HEADER64)] = {};
    if (declared < fixed || !bytes.Holds(at, declared) || !bytes.Read(at, raw, std::min<DWORD>(declared, sizeof(raw))))
        return false;
    DWORD count = 0;
    const BYTE* directories = raw + fixed;
    if (is64) {
        IMAGE_OPTIONAL_HEADER64 header{};
        std::memcpy(&header, raw, sizeof(header));
        headers.sizeOfHeaders = header.SizeOfHeaders;
        headers.imageBase = header.ImageBase;
        count = header.NumberOfRvaAndSizes;
    } else {
        IMAGE_OPTIONAL_HEADER32 header{};
        std::memcpy(&header, raw, sizeof(header));
        headers.sizeOfHeaders = header.SizeOfHeaders;
        headers.imageBase = header.ImageBase;
        count = header.NumberOfRvaAndSizes;
    }
    count = std::min<DWORD>({ count, IMAGE_NUMBEROF_DIRECTORY_ENTRIES,
                              static_cast<DWORD>((declared - fixed) / sizeof(IMAGE_DATA_DIRECTORY)) });
    std::memcpy(headers.directories, directories, count * sizeof(IMAGE_DATA_DIRECTORY));
    return true;
}

PeKind ReadHeaders(FileBytes& bytes, PeFile& pe, Headers& headers)
{
    WORD mz = 0;
    if (!bytes.Read(0, mz) || mz != IMAGE_DOS_SIGNATURE)
        return PeKind::NotProgram;
    IMAGE_DOS_HEADER dos{};
    if (!bytes.Read(0, dos) || dos.e_lfanew < 0)
        return PeKind::Damaged;
    const ULONGLONG nt = static_cast<ULONGLONG>(dos.e_lfanew);
    DWORD signature = 0;
    if (!bytes.Read(nt, signature))
        return PeKind::Damaged;
    // A DOS program, or a 16-bit one with another header there.
    if (signature != IMAGE_NT_SIGNATURE)
        return PeKind::NotProgram;
    IMAGE_FILE_HEADER file{};
    if (!bytes.Read(nt + sizeof(signature), file))
        return PeKind::Damaged;
    pe.machine = file.Machine;
    pe.isDll = (file.Characteristics & IMAGE_FILE_DLL) != 0;
    const ULONGLONG optional = nt + sizeof(signature) + sizeof(file);
    WORD magic = 0;
    if (!bytes.Read(optional, magic))
        return PeKind::Damaged;
    if (magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC && magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return PeKind::NotProgram;
    pe.is64 = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (!ReadOptionalHeader(bytes, optional, file.SizeOfOptionalHeader, pe.is64, headers))
        return PeKind::Damaged;
    headers.sectionTable = optional + file.SizeOfOptionalHeader;
    headers.sectionCount = file.NumberOfSections;
    if (!bytes.Holds(headers.sectionTable, static_cast<ULONGLONG>(headers.sectionCount) * sizeof(IMAGE_SECTION_HEADER)))
        return PeKind::Damaged;
    return PeKind::Image;
}

// The sections, and whether the raw data of one runs past the end of the file.
bool ReadSections(FileBytes& bytes, const Headers& headers, AddressMap& map, bool& truncated)
{
    for (WORD i = 0; i < headers.sectionCount; ++i) {
        IMAGE_SECTION_HEADER section{};
        if (!bytes.Read(headers.sectionTable + static_cast<ULONGLONG>(i) * sizeof(section), section))
            return false;
        // Without a raw offset the loader zero-fills the section: nothing of it is in the file.
        if (section.PointerToRawData == 0 || section.SizeOfRawData == 0)
            continue;
        if (!bytes.Holds(section.PointerToRawData, section.SizeOfRawData))
            truncated = true;
        const DWORD virtualSize = section.Misc.VirtualSize;
        const DWORD backed = virtualSize != 0 ? std::min(virtualSize, section.SizeOfRawData) : section.SizeOfRawData;
        map.Add(section.VirtualAddress, backed, section.PointerToRawData);
    }
    // An image of headers alone addresses them as they lie in the file.
    map.Add(0, headers.sizeOfHeaders, 0);
    map.Sort();
    return true;
}

// Its "address" is a file offset: the table is appended to the file, outside every section.
bool CertificatesPastEnd(const FileBytes& bytes, const IMAGE_DATA_DIRECTORY& certificates)
{
    return certificates.VirtualAddress != 0 && certificates.Size != 0 &&
           !bytes.Holds(certificates.VirtualAddress, certificates.Size);
}

// A NUL-terminated name at rva, within its section and kMaxNameBytes.
bool ReadName(FileBytes& bytes, const AddressMap& map, DWORD rva, std::string& name)
{
    ULONGLONG offset = 0;
    DWORD available = 0;
    if (!map.Find(rva, offset, available) || offset > bytes.Size())
        return false;
    char text[kMaxNameBytes];
    const DWORD count = static_cast<DWORD>(std::min<ULONGLONG>({ available, kMaxNameBytes, bytes.Size() - offset }));
    if (!bytes.Read(offset, text, count))
        return false;
    const char* end = static_cast<const char*>(std::memchr(text, '\0', count));
    if (end == nullptr)
        return false;
    name.assign(text, static_cast<size_t>(end - text));
    return true;
}

// Orders the export name at rva against wanted as strcmp does; false when the
// name cannot be read far enough to tell.
bool CompareName(FileBytes& bytes, const AddressMap& map, DWORD rva, const char* wanted, int& order)
{
    ULONGLONG offset = 0;
    DWORD available = 0;
    if (!map.Find(rva, offset, available) || offset > bytes.Size())
        return false;
    char text[64];
    const size_t needed = std::strlen(wanted) + 1;
    const DWORD count =
        static_cast<DWORD>(std::min<ULONGLONG>({ available, std::min(needed, sizeof(text)), bytes.Size() - offset }));
    if (!bytes.Read(offset, text, count))
        return false;
    for (DWORD i = 0; i < count; ++i) {
        const unsigned char have = static_cast<unsigned char>(text[i]);
        const unsigned char want = static_cast<unsigned char>(wanted[i]);
        if (have != want || have == 0) {
            order = have < want ? -1 : (have > want ? 1 : 0);
            return true;
        }
    }
    return false;
}

struct ExportNames {
    ULONGLONG table = 0; // file offset of the name pointers
    DWORD count = 0;
};

// NumberOfNames, bounded by what the export directory's size and the section
// holding the name pointers can hold.
ExportNames ReadExportNames(FileBytes& bytes, const AddressMap& map, const IMAGE_DATA_DIRECTORY& directory)
{
    ExportNames names;
    ULONGLONG at = 0;
    DWORD available = 0;
    IMAGE_EXPORT_DIRECTORY exports{};
    if (directory.VirtualAddress == 0 || !map.Find(directory.VirtualAddress, at, available) ||
        available < sizeof(exports) || !bytes.Read(at, exports) ||
        !map.Find(exports.AddressOfNames, names.table, available))
        return names;
    names.count = std::min({ exports.NumberOfNames, directory.Size / 4, available / 4 });
    return names;
}

// The loader looks a name up by binary search of the sorted table, so a name
// it cannot find this way does not count, and a crafted count of names costs
// no more than its logarithm.
bool ExportsName(FileBytes& bytes, const AddressMap& map, const ExportNames& names, const char* wanted)
{
    DWORD low = 0;
    DWORD high = names.count;
    while (low < high) {
        const DWORD middle = low + (high - low) / 2;
        DWORD rva = 0;
        int order = 0;
        if (!bytes.Read(names.table + 4ull * middle, rva) || !CompareName(bytes, map, rva, wanted, order))
            return false;
        if (order == 0)
            return true;
        if (order < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return false;
}

// The name of each descriptor of a table of fixed-size records, up to the
// directory's size, the section's end, or the first descriptor without a name.
template <class Descriptor, class NameOf>
std::vector<std::string> ReadDllNames(FileBytes& bytes, const AddressMap& map, const IMAGE_DATA_DIRECTORY& directory,
                                      NameOf nameOf)
{
    std::vector<std::string> names;
    ULONGLONG at = 0;
    DWORD available = 0;
    if (directory.VirtualAddress == 0 || !map.Find(directory.VirtualAddress, at, available))
        return names;
    const size_t count = std::min<size_t>(std::min(directory.Size, available) / sizeof(Descriptor), kMaxImportedDlls);
    for (size_t i = 0; i < count; ++i) {
        Descriptor descriptor{};
        std::string name;
        if (!bytes.Read(at + i * sizeof(Descriptor), descriptor) || nameOf(descriptor) == 0 ||
            !ReadName(bytes, map, nameOf(descriptor), name))
            break;
        names.push_back(name);
    }
    return names;
}

// What the platform's queries would find in a sound version block.
struct VersionBlockInfo {
    bool hasFixedInfo = false; // the root's value is a fixed record with its signature
    VS_FIXEDFILEINFO fixedInfo{};
    bool hasTranslation = false;
    // Where \VarFileInfo\Translation's value lies in the block.
    size_t translationOffset = 0;
    size_t translationBytes = 0;
    // The block's own bytes.
    std::vector<BYTE> bytes;
};

// The version block: WORD wLength, WORD wValueLength, WORD wType, a
// NUL-terminated UTF-16 key, padding to 32 bits, the value, padding, children.
constexpr size_t kBlockHeader = 3 * sizeof(WORD);
constexpr WORD kBinaryValue = 0;
constexpr WORD kTextValue = 1;

WORD WordAt(const BYTE* data, size_t at)
{
    WORD value = 0;
    std::memcpy(&value, data + at, sizeof(value));
    return value;
}

// Alignment counts from the start of the resource, as the platform copies it
// into a buffer of its own before walking it.
size_t Align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

struct Block {
    size_t key = 0;
    size_t end = 0;
    WORD valueLength = 0;
    size_t value = 0;
    size_t valueBytes = 0;
    size_t children = 0;
};

// The block at offset at, which with its key and its value must lie within limit.
bool ParseBlock(const BYTE* data, size_t at, size_t limit, Block& block)
{
    if (at > limit || limit - at < kBlockHeader)
        return false;
    const WORD length = WordAt(data, at);
    const WORD type = WordAt(data, at + 2 * sizeof(WORD));
    if (length < kBlockHeader || length > limit - at || (type != kBinaryValue && type != kTextValue))
        return false;
    block.end = at + length;
    block.key = at + kBlockHeader;
    size_t keyEnd = block.key;
    for (;; keyEnd += sizeof(WCHAR)) {
        if (block.end - keyEnd < sizeof(WCHAR))
            return false;
        if (WordAt(data, keyEnd) == 0)
            break;
    }
    block.valueLength = WordAt(data, at + sizeof(WORD));
    block.valueBytes = type == kTextValue ? sizeof(WCHAR) * block.valueLength : block.valueLength;
    block.value = Align4(keyEnd + sizeof(WCHAR));
    if (block.valueBytes != 0 && (block.value > block.end || block.valueBytes > block.end - block.value))
        return false;
    block.children = Align4(block.value + block.valueBytes);
    return true;
}

// Keys compare without regard to case, as the platform's query compares them.
bool KeyIs(const BYTE* data, const Block& block, const char* key)
{
    size_t at = block.key;
    for (; *key != '\0'; ++key, at += sizeof(WCHAR)) {
        const WORD c = WordAt(data, at);
        const char lower = static_cast<char>(*key >= 'A' && *key <= 'Z' ? *key + ('a' - 'A') : *key);
        const WORD have = c >= 'A' && c <= 'Z' ? static_cast<WORD>(c + ('a' - 'A')) : c;
        if (have != static_cast<unsigned char>(lower))
            return false;
    }
    return WordAt(data, at) == 0;
}

bool CheckChildren(const BYTE* data, const Block& parent, int depth)
{
    for (size_t at = parent.children; at < parent.end;) {
        Block child;
        if (depth >= kMaxBlockDepth || !ParseBlock(data, at, parent.end, child) ||
            !CheckChildren(data, child, depth + 1))
            return false;
        at = Align4(child.end);
    }
    return true;
}

// The first child with the key, as the platform's query takes it. Only
// called on blocks that CheckChildren accepted.
bool FindChild(const BYTE* data, const Block& parent, const char* key, Block& found)
{
    for (size_t at = parent.children; at < parent.end; at = Align4(found.end)) {
        if (!ParseBlock(data, at, parent.end, found))
            return false;
        if (KeyIs(data, found, key))
            return true;
    }
    return false;
}

// Every block of a version resource of size bytes, down to each string,
// lies within its parent and the root within size; each key ends and each
// value lies within its block. info is filled in only when all of it holds.
bool CheckVersionBlock(const BYTE* data, size_t size, VersionBlockInfo& info)
{
    info = VersionBlockInfo();
    Block root;
    // The 16-bit format (ANSI keys, no wType) predates 32-bit components: its
    // third word is the key's first letters, so it fails here, where the
    // platform's wide query would convert it.
    if (data == nullptr || !ParseBlock(data, 0, size, root) || !KeyIs(data, root, "VS_VERSION_INFO") ||
        !CheckChildren(data, root, 1))
        return false;
    if (root.valueLength >= sizeof(VS_FIXEDFILEINFO)) {
        VS_FIXEDFILEINFO fixed{};
        std::memcpy(&fixed, data + root.value, sizeof(fixed));
        if (fixed.dwSignature == kFixedInfoSignature) {
            info.hasFixedInfo = true;
            info.fixedInfo = fixed;
        }
    }
    Block files;
    Block translation;
    info.hasTranslation = FindChild(data, root, "VarFileInfo", files) &&
                          FindChild(data, files, "Translation", translation) && translation.valueBytes >= sizeof(DWORD);
    if (info.hasTranslation) {
        info.translationOffset = translation.value;
        info.translationBytes = translation.valueBytes;
    }
    return true;
}

// The resource directory: offsets inside it count from its start and stay
// within the file-backed bytes of its section after it.
class ResourceTree {
public:
    struct Entry {
        DWORD name; // an ID, or with the high bit an offset to a counted UTF-16 name
        DWORD target; // with the high bit a subdirectory, else a data entry
    };

    ResourceTree(FileBytes& bytes, ULONGLONG start, DWORD size) : bytes_(bytes), start_(start), size_(size) {}

    // The number of entries of the directory at offset; false when the
    // directory or its entry table leaves the tree.
    bool Directory(DWORD offset, DWORD& count)
    {
        IMAGE_RESOURCE_DIRECTORY directory{};
        if (!Has(offset, sizeof(directory)) || !bytes_.Read(start_ + offset, directory))
            return false;
        count = static_cast<DWORD>(directory.NumberOfNamedEntries) + directory.NumberOfIdEntries;
        return (size_ - offset - sizeof(directory)) / sizeof(Entry) >= count;
    }

    // Entry index of a directory that Directory() accepted; a named entry's
    // name must lie in the tree too.
    bool ReadEntry(DWORD directory, DWORD index, Entry& entry)
    {
        const ULONGLONG at = start_ + directory + sizeof(IMAGE_RESOURCE_DIRECTORY) + sizeof(Entry) * index;
        WORD length = 0;
        if (!bytes_.Read(at, entry))
            return false;
        if ((entry.name & kHighBit) == 0)
            return true;
        const DWORD name = entry.name & ~kHighBit;
        return Has(name, sizeof(length)) && bytes_.Read(start_ + name, length) &&
               Has(name, sizeof(length) + 2ull * length);
    }

    bool ReadData(DWORD offset, IMAGE_RESOURCE_DATA_ENTRY& data)
    {
        return Has(offset, sizeof(data)) && bytes_.Read(start_ + offset, data);
    }

private:
    bool Has(DWORD offset, ULONGLONG count) const { return offset <= size_ && count <= size_ - offset; }

    FileBytes& bytes_;
    ULONGLONG start_;
    DWORD size_;
};

bool IsDirectory(const ResourceTree::Entry& entry)
{
    return (entry.target & kHighBit) != 0;
}

DWORD Target(const ResourceTree::Entry& entry)
{
    return entry.target & ~kHighBit;
}

// One version resource: its bytes lie within one section of the file, are
// few enough to be read at once, and form a sound block.
bool CheckVersionData(FileBytes& bytes, const AddressMap& map, const IMAGE_RESOURCE_DATA_ENTRY& entry,
                      VersionBlockInfo& info)
{
    ULONGLONG offset = 0;
    DWORD available = 0;
    if (entry.Size == 0 || entry.Size > kMaxVersionBytes || !map.Find(entry.OffsetToData, offset, available) ||
        entry.Size > available)
        return false;
    std::vector<BYTE> data(entry.Size);
    if (!bytes.Read(offset, data.data(), entry.Size) || !CheckVersionBlock(data.data(), data.size(), info))
        return false;
    info.bytes = std::move(data);
    return true;
}

// Every name below RT_VERSION and every language below each name must lead
// to a sound version resource.
class VersionWalk {
public:
    VersionWalk(FileBytes& bytes, const AddressMap& map, ResourceTree& tree) : bytes_(bytes), map_(map), tree_(tree) {}

    bool CheckNames(DWORD directory)
    {
        DWORD count = 0;
        if (!tree_.Directory(directory, count) || count == 0)
            return false;
        for (DWORD i = 0; i < count; ++i) {
            ResourceTree::Entry name{};
            if (!tree_.ReadEntry(directory, i, name) || !IsDirectory(name) || !CheckLanguages(name))
                return false;
        }
        return true;
    }

    const VersionBlockInfo& Chosen() const { return chosen_; }

private:
    bool CheckLanguages(const ResourceTree::Entry& name)
    {
        DWORD count = 0;
        if (!tree_.Directory(Target(name), count) || count == 0)
            return false;
        // The language the resource loader takes: neutral, the user's, the
        // system's, English, else the first.
        const DWORD preferred[] = { 0, ::GetUserDefaultUILanguage(), ::GetUserDefaultLangID(),
                                    ::GetSystemDefaultLangID(), 0x0409 };
        const size_t kNotPreferred = sizeof(preferred) / sizeof(preferred[0]);
        size_t bestRank = kNotPreferred + 1;
        VersionBlockInfo best;
        for (DWORD i = 0; i < count; ++i) {
            ResourceTree::Entry language{};
            IMAGE_RESOURCE_DATA_ENTRY data{};
            VersionBlockInfo info;
            if (--entriesLeft_ < 0 || !tree_.ReadEntry(Target(name), i, language) || IsDirectory(language) ||
                !tree_.ReadData(Target(language), data) || data.Size > bytesLeft_ ||
                !CheckVersionData(bytes_, map_, data, info))
                return false;
            bytesLeft_ -= data.Size;
            size_t rank = std::find(preferred, preferred + kNotPreferred, language.name) - preferred;
            if (rank == kNotPreferred && i != 0)
                rank = kNotPreferred + 1;
            if (rank < bestRank) {
                bestRank = rank;
                best = std::move(info);
            }
        }
        Offer(name.name, best);
        return true;
    }

    // The platform asks for name VS_VERSION_INFO (ID 1) and takes another
    // name only when that one is missing. Since every entry must be sound,
    // the choice only decides the block whose record and translations count.
    void Offer(DWORD name, const VersionBlockInfo& info)
    {
        const bool isVersionInfo = name == kVersionInfoId;
        if (!offered_ || (isVersionInfo && !chosenIsVersionInfo_)) {
            chosen_ = info;
            offered_ = true;
            chosenIsVersionInfo_ = isVersionInfo;
        }
    }

    FileBytes& bytes_;
    const AddressMap& map_;
    ResourceTree& tree_;
    int entriesLeft_ = kMaxVersionResources;
    DWORD bytesLeft_ = kMaxVersionBytesInAll;
    bool offered_ = false;
    bool chosenIsVersionInfo_ = false;
    VersionBlockInfo chosen_;
};

void ReadVersionResource(FileBytes& bytes, const AddressMap& map, const IMAGE_DATA_DIRECTORY& directory, PeFile& pe)
{
    if (directory.VirtualAddress == 0)
        return;
    ULONGLONG start = 0;
    DWORD available = 0;
    DWORD types = 0;
    // A directory that cannot be walked might hide a version resource: say
    // there is one, and that it is not sound.
    pe.hasVersionResource = true;
    if (!map.Find(directory.VirtualAddress, start, available))
        return;
    ResourceTree tree(bytes, start, available);
    if (!tree.Directory(0, types))
        return;
    pe.hasVersionResource = false;
    VersionWalk walk(bytes, map, tree);
    for (DWORD i = 0; i < types; ++i) {
        ResourceTree::Entry type{};
        if (!tree.ReadEntry(0, i, type)) {
            pe.hasVersionResource = true;
            return;
        }
        if (type.name != kRtVersion)
            continue;
        pe.hasVersionResource = true;
        if (!IsDirectory(type) || !walk.CheckNames(Target(type)))
            return;
    }
    if (!pe.hasVersionResource)
        return;
    pe.versionSound = true;
    const VersionBlockInfo& chosen = walk.Chosen();
    if (chosen.hasFixedInfo)
        pe.fixedInfo = chosen.fixedInfo;
    pe.hasTranslation = chosen.hasTranslation;
    pe.versionBlock = chosen.bytes;
    pe.translationOffset = chosen.translationOffset;
    pe.translationBytes = chosen.translationBytes;
}

void ReadImage(FileBytes& bytes, PeFile& pe)
{
    if (bytes.Size() == 0) {
        pe.kind = PeKind::Empty;
        return;
    }
    Headers headers;
    pe.kind = ReadHeaders(bytes, pe, headers);
    if (pe.kind != PeKind::Image)
        return;
    AddressMap map;
    if (!ReadSections(bytes, headers, map, pe.truncated)) {
        pe.kind = PeKind::Damaged;
        return;
    }
    pe.truncated = pe.truncated || CertificatesPastEnd(bytes, headers.directories[IMAGE_DIRECTORY_ENTRY_SECURITY]);

    const ExportNames names = ReadExportNames(bytes, map, headers.directories[IMAGE_DIRECTORY_ENTRY_EXPORT]);
    pe.exportsRegister = ExportsName(bytes, map, names, "DllRegisterServer");
    pe.exportsUnregister = ExportsName(bytes, map, names, "DllUnregisterServer");

    pe.imports = ReadDllNames<IMAGE_IMPORT_DESCRIPTOR>(
        bytes, map, headers.directories[IMAGE_DIRECTORY_ENTRY_IMPORT],
        [](const IMAGE_IMPORT_DESCRIPTOR& descriptor) { return descriptor.Name; });
    // Descriptors of the first delay-load format hold addresses, not RVAs.
    const bool is64 = pe.is64;
    const ULONGLONG imageBase = headers.imageBase;
    pe.delayImports = ReadDllNames<IMAGE_DELAYLOAD_DESCRIPTOR>(
        bytes, map, headers.directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT],
        [is64, imageBase](const IMAGE_DELAYLOAD_DESCRIPTOR& descriptor) -> DWORD {
            const DWORD name = descriptor.DllNameRVA;
            if ((descriptor.Attributes.AllAttributes & 1) != 0 || is64)
                return name;
            return name > imageBase ? static_cast<DWORD>(name - imageBase) : 0;
        });

    ReadVersionResource(bytes, map, headers.directories[IMAGE_DIRECTORY_ENTRY_RESOURCE], pe);
}

} // namespace

namespace {

PeFile ReadPeFrom(FileBytes& bytes)
{
    PeFile pe;
    if (!bytes.IsOpen()) {
        pe.openError = ::GetLastError();
        return pe;
    }
    ReadImage(bytes, pe);
    pe.bytesRead = bytes.BytesRead();
    return pe;
}

} // namespace

PeFile ReadPeFile(const std::string& path)
{
    FileBytes bytes(path);
    return ReadPeFrom(bytes);
}

PeFile ReadPeFile(HANDLE file)
{
    FileBytes bytes(file);
    return ReadPeFrom(bytes);
}
