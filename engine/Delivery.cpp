#include "engine/Delivery.h"

#include "engine/InstallDescription.h"

Delivery::Delivery(std::string folder, std::string program)
    : folder_(std::move(folder)), program_(std::move(program))
{
}

std::string Delivery::DescriptionPath() const
{
    return folder_ + "\\" + kInstallDescriptionName;
}

std::string Delivery::ApplicationFilesFolder() const
{
    return folder_ + "\\FilesToCopy";
}

std::string Delivery::SystemFilesFolder() const
{
    return folder_ + "\\SysFile";
}

std::string Delivery::ReadInstallValue(const std::string& section, const std::string& key) const
{
    return ReadDescriptionValue(DescriptionPath(), section, key, ValueKind::Text);
}

std::string Delivery::ReadInstallPath(const std::string& section, const std::string& key) const
{
    return ReadDescriptionValue(DescriptionPath(), section, key, ValueKind::Path);
}
