// A reader of the version resource that walks the file's bytes itself (PE
// headers, resource directory, version block), so that tests can check the
// product's reader, which goes through the system's version API, against it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lumo_test {

struct PeVersionResource {
    bool isPe = false;               // the file is a PE image whose headers could be walked
    bool hasVersionResource = false; // an RT_VERSION resource was found
    bool hasFixedInfo = false;       // a VS_FIXEDFILEINFO with its signature follows the root key
    bool hasTranslation = false;     // \VarFileInfo\Translation holds at least one entry
    VS_FIXEDFILEINFO fixedInfo{};
    uint32_t firstTranslation = 0;   // language in the low word, code page in the high word
    std::string error;               // why the walk stopped early, for failure messages
};

PeVersionResource ReadPeVersionResource(const std::string& path);

} // namespace lumo_test
