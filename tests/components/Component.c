/* One test component. The variant is chosen at compile time:
 * LUMO_REGISTER_STATUS is what DllRegisterServer returns; with
 * LUMO_NO_ENTRY_POINT the DLL has no DllRegisterServer at all. */
#include <windows.h>

static HMODULE thisModule;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH)
        thisModule = instance;
    return TRUE;
}

#ifndef LUMO_NO_ENTRY_POINT

/* Counts the call under the module's own lower-cased path, so that each copy
 * of a component has a counter of its own. */
static void CountRegistration(void)
{
    char path[MAX_PATH + 1] = { 0 };
    const DWORD length = GetModuleFileNameA(thisModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] >= 'A' && path[i] <= 'Z')
            path[i] = (char)(path[i] - 'A' + 'a');
    }

    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\LumoInstallTests\\DllRegisterServer", 0, NULL, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    DWORD count = 0;
    DWORD type = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExA(key, path, NULL, &type, (BYTE*)&count, &size) != ERROR_SUCCESS || type != REG_DWORD)
        count = 0;
    ++count;
    RegSetValueExA(key, path, 0, REG_DWORD, (const BYTE*)&count, sizeof(count));
    RegCloseKey(key);
}

HRESULT STDAPICALLTYPE DllRegisterServer(void)
{
    CountRegistration();
    return LUMO_REGISTER_STATUS;
}

#endif

/* Every variant exports something, so even the one without an entry point is
 * an ordinary DLL with an export table. */
int STDAPICALLTYPE LumoComponentMarker(void)
{
    return 1;
}
