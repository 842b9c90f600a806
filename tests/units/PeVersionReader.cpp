#include "units/PeVersionReader.h"

#include "TestSupport.h"

#include <cstring>
#include <vector>

namespace lumo_test {

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kRtVersion = 16;

class Bytes {
public:
    explicit Bytes(const std::string& data) : data_(data.begin(), data.end()) {}

    bool Has(size_t offset, size_t count) const { return offset <= data_.size() && count <= data_.size() - offset; }
    uint16_t U16(size_t offset) const { return static_cast<uint16_t>(Byte(offset) | Byte(offset + 1) << 8); }
    uint32_t U32(size_t offset) const { return U16(offset) | static_cast<uint32_t>(U16(offset + 2)) << 16; }
    const unsigned char* At(size_t offset) const { return data_.data() + offset; }
    size_t Size() const { return data_.size(); }

private:
    uint32_t Byte(size_t offset) const { return data_[offset]; }
    std::vector<unsigned char> data_;
};

size_t Align4(size_t offset)
{
    return (offset + 3) & ~static_cast<size_t>(3);
}

// The UTF-16 key of a version block starting at offset (ASCII keys only);
// sets end to the offset just after its terminating zero.
bool ReadKey(const Bytes& bytes, size_t offset, size_t limit, std::string& key, size_t& end)
{
    key.clear();
    for (size_t at = offset; at + 2 <= limit && bytes.Has(at, 2); at += 2) {
        const uint16_t c = bytes.U16(at);
        if (c == 0) {
            end = at + 2;
            return true;
        }
        key += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return false;
}

// One level of the resource directory: the offset (from the section start)
// that the entry with the given id points to; with exact false, id zero takes
// the first entry. subdirectory tells whether it points to another level.
bool FindEntry(const Bytes& bytes, size_t sectionOffset, size_t directory, uint32_t id, uint32_t& target,
               bool& subdirectory, bool exact = false)
{
    const size_t at = sectionOffset + directory;
    if (!bytes.Has(at, 16))
        return false;
    const size_t count = static_cast<size_t>(bytes.U16(at + 12)) + bytes.U16(at + 14);
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = at + 16 + i * 8;
        if (!bytes.Has(entry, 8))
            return false;
        const uint32_t name = bytes.U32(entry);
        if ((id != 0 || exact) && ((name & 0x80000000u) != 0 || name != id))
            continue;
        const uint32_t offset = bytes.U32(entry + 4);
        subdirectory = (offset & 0x80000000u) != 0;
        target = offset & 0x7FFFFFFFu;
        return true;
    }
    return false;
}

} // namespace

PeVersionResource ReadPeVersionResource(const std::string& path)
{
    PeVersionResource result;
    const Bytes bytes(ReadFileBytes(path));
    if (!bytes.Has(0, 64) || bytes.U16(0) != 0x5A4D) {
        result.error = "no MZ header";
        return result;
    }
    const size_t pe = bytes.U32(0x3C);
    if (!bytes.Has(pe, 24) || bytes.U32(pe) != 0x00004550) {
        result.error = "no PE signature";
        return result;
    }
    const size_t sectionCount = bytes.U16(pe + 6);
    const size_t optionalSize = bytes.U16(pe + 20);
    const size_t optional = pe + 24;
    if (!bytes.Has(optional, 2)) {
        result.error = "truncated optional header";
        return result;
    }
    // The data directories start later in PE32+ than in PE32.
    const uint16_t magic = bytes.U16(optional);
    size_t directories = 0;
    if (magic == 0x10B)
        directories = optional + 96;
    else if (magic == 0x20B)
        directories = optional + 112;
    else {
        result.error = "unknown optional header magic";
        return result;
    }
    const size_t resourceDirectory = directories + 2 * 8;
    if (resourceDirectory + 8 > optional + optionalSize || !bytes.Has(resourceDirectory, 8)) {
        result.error = "no resource data directory";
        return result;
    }
    result.isPe = true;
    const uint32_t resourceRva = bytes.U32(resourceDirectory);
    if (resourceRva == 0 || bytes.U32(resourceDirectory + 4) == 0) {
        result.error = "no resources";
        return result;
    }

    const size_t sections = optional + optionalSize;
    auto rvaToOffset = [&](uint32_t rva, size_t& offset) {
        for (size_t i = 0; i < sectionCount; ++i) {
            const size_t header = sections + i * 40;
            if (!bytes.Has(header, 40))
                return false;
            const uint32_t virtualSize = bytes.U32(header + 8);
            const uint32_t virtualAddress = bytes.U32(header + 12);
            const uint32_t rawSize = bytes.U32(header + 16);
            const uint32_t rawPointer = bytes.U32(header + 20);
            const uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
            if (rva >= virtualAddress && rva - virtualAddress < extent) {
                if (rva - virtualAddress >= rawSize)
                    return false;
                offset = static_cast<size_t>(rawPointer) + (rva - virtualAddress);
                return true;
            }
        }
        return false;
    };

    size_t sectionOffset = 0;
    if (!rvaToOffset(resourceRva, sectionOffset)) {
        result.error = "resource directory outside every section";
        return result;
    }
    // Type, then name, then language; the first name serves.
    uint32_t target = 0;
    bool subdirectory = false;
    if (!FindEntry(bytes, sectionOffset, 0, kRtVersion, target, subdirectory) || !subdirectory) {
        result.error = "no RT_VERSION resource";
        return result;
    }
    if (!FindEntry(bytes, sectionOffset, target, 0, target, subdirectory) || !subdirectory) {
        result.error = "malformed RT_VERSION directory";
        return result;
    }
    // Among several languages, the one the resource loader would pick first.
    const uint32_t languages[] = { 0, ::GetUserDefaultUILanguage(), ::GetUserDefaultLangID(),
                                   ::GetSystemDefaultLangID(), 0x0409 };
    const uint32_t names = target;
    bool found = false;
    for (uint32_t language : languages) {
        found = FindEntry(bytes, sectionOffset, names, language, target, subdirectory, true);
        if (found)
            break;
    }
    if (!found)
        found = FindEntry(bytes, sectionOffset, names, 0, target, subdirectory);
    if (!found || subdirectory) {
        result.error = "malformed RT_VERSION language directory";
        return result;
    }
    const size_t dataEntry = sectionOffset + target;
    size_t data = 0;
    if (!bytes.Has(dataEntry, 16) || !rvaToOffset(bytes.U32(dataEntry), data)) {
        result.error = "RT_VERSION data outside every section";
        return result;
    }
    const size_t dataSize = bytes.U32(dataEntry + 4);
    if (!bytes.Has(data, dataSize) || dataSize < 6) {
        result.error = "RT_VERSION data truncated";
        return result;
    }
    result.hasVersionResource = true;

    // Blocks are aligned to 32 bits from the start of the resource data.
    const size_t end = data + (bytes.U16(data) < dataSize ? bytes.U16(data) : dataSize);
    std::string key;
    size_t afterKey = 0;
    if (!ReadKey(bytes, data + 6, end, key, afterKey) || key != "VS_VERSION_INFO") {
        result.error = "root key is not VS_VERSION_INFO";
        return result;
    }
    const size_t rootValueLength = bytes.U16(data + 2);
    size_t fixed = Align4(afterKey - data) + data;
    if (rootValueLength >= sizeof(VS_FIXEDFILEINFO) && bytes.Has(fixed, sizeof(VS_FIXEDFILEINFO)) &&
        bytes.U32(fixed) == kFixedInfoSignature) {
        std::memcpy(&result.fixedInfo, bytes.At(fixed), sizeof(VS_FIXEDFILEINFO));
        result.hasFixedInfo = true;
    }

    // The root's children: StringFileInfo and VarFileInfo; below VarFileInfo, Translation.
    size_t child = Align4(afterKey + rootValueLength - data) + data;
    while (child + 6 <= end) {
        const size_t childLength = bytes.U16(child);
        if (childLength < 6 || child + childLength > end)
            break;
        std::string childKey;
        size_t childAfterKey = 0;
        if (ReadKey(bytes, child + 6, child + childLength, childKey, childAfterKey) && childKey == "VarFileInfo") {
            size_t var = Align4(childAfterKey + bytes.U16(child + 2) - data) + data;
            while (var + 6 <= child + childLength) {
                const size_t varLength = bytes.U16(var);
                if (varLength < 6 || var + varLength > child + childLength)
                    break;
                std::string varKey;
                size_t varAfterKey = 0;
                if (ReadKey(bytes, var + 6, var + varLength, varKey, varAfterKey) && varKey == "Translation") {
                    const size_t value = Align4(varAfterKey - data) + data;
                    if (bytes.U16(var + 2) >= 4 && value + 4 <= var + varLength) {
                        result.hasTranslation = true;
                        result.firstTranslation = bytes.U32(value);
                    }
                }
                var = Align4(var + varLength - data) + data;
            }
        }
        child = Align4(child + childLength - data) + data;
    }
    return result;
}

} // namespace lumo_test
