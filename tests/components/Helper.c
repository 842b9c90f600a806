/* A helper DLL that a component imports by name. Two copies of the same name
 * are built, each telling where it belongs: "good" for the system folder and
 * "planted" for the folder the installer is started from. */
#include <windows.h>

__declspec(dllexport) const char* LumoHelperOrigin(void)
{
    return LUMO_HELPER_ORIGIN;
}
