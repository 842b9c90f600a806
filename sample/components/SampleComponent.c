/* A sample system component of the delivery: registering it records its name
 * below the client's key, as a real component would record its classes. */
#include <windows.h>

#define COMPONENTS_KEY "Software\\Pelvora\\Tesmoro\\Componenti"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    HKEY key;
    const char* value = "registrato";
    if (RegCreateKeyExA(HKEY_CURRENT_USER, COMPONENTS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return E_FAIL;
    RegSetValueExA(key, COMPONENT_NAME, 0, REG_SZ, (const BYTE*)value, (DWORD)lstrlenA(value) + 1);
    RegCloseKey(key);
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, COMPONENTS_KEY, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, COMPONENT_NAME);
        RegCloseKey(key);
    }
    return S_OK;
}
