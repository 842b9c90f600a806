#include "app/InstallerApp.h"

std::string InstallDescriptionPath()
{
    return ModuleFolder() + "\\Installatore.ini";
}

std::string InstallerApp::ReadInstallValue(const std::string& section, const std::string& key) const
{
    char buffer[256] = {};
    ::GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof(buffer),
                               InstallDescriptionPath().c_str());
    buffer[sizeof(buffer) - 1] = '\0';

    std::string value;
    for (const char* p = buffer; *p != '\0'; ++p) {
        if (p[0] == '\\' && p[1] == 'n') {
            value += "\r\n";
            ++p;
        } else {
            value += *p;
        }
    }
    return value;
}
