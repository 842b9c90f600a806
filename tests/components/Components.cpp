#include "components/Components.h"

namespace lumo_test {

std::string ComponentPath(const std::string& fileName)
{
    return std::string(LUMO_COMPONENTS_DIR) + "\\" + fileName;
}

DWORD RegistrationCount(const std::string&)
{
    return 0;
}

void ResetRegistrationCounts() {}

} // namespace lumo_test
