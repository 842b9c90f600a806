/* One test component. The variant is chosen at compile time:
 * LUMO_REGISTER_STATUS is what DllRegisterServer returns; with
 * LUMO_NO_ENTRY_POINT the DLL has no DllRegisterServer at all; with
 * LUMO_USES_HELPER it imports lumohelper.dll by name and records, at
 * registration, which copy of the helper the loader gave it; with
 * LUMO_LOADS_HELPER it loads lumohelper.dll by name at registration, as a
 * component may do, and records which copy it got ("none" for none); with
 * LUMO_WAITS_FOR_RELEASE its DllRegisterServer signals the event
 * "LumoInstallTests.Entered" and then waits (at most two minutes) for the
 * event "LumoInstallTests.Release", when a test has made them. */
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

/* The module's own path, its ASCII letters lower-cased: the name of its
 * values in the registry, so that each copy of a component has values of its
 * own, whatever characters its name holds. */
static BOOL LowerModulePath(wchar_t* path)
{
    const DWORD length = GetModuleFileNameW(thisModule, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] >= L'A' && path[i] <= L'Z')
            path[i] = (wchar_t)(path[i] - L'A' + L'a');
    }
    return TRUE;
}

static void Count(const wchar_t* keyName)
{
    wchar_t path[MAX_PATH + 1] = { 0 };
    if (!LowerModulePath(path))
        return;

    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) !=
        ERROR_SUCCESS)
        return;
    DWORD count = 0;
    DWORD type = 0;
    DWORD size = sizeof(count);
    if (RegQueryValueExW(key, path, NULL, &type, (BYTE*)&count, &size) != ERROR_SUCCESS || type != REG_DWORD)
        count = 0;
    ++count;
    RegSetValueExW(key, path, 0, REG_DWORD, (const BYTE*)&count, sizeof(count));
    RegCloseKey(key);
}

/* Which entry point ran last: what a component's registration state is once
 * runs were stopped and repeated, whatever the counts. */
static void NoteLast(const wchar_t* entry)
{
    wchar_t path[MAX_PATH + 1] = { 0 };
    if (!LowerModulePath(path))
        return;
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LumoInstallTests\\LastEntryPoint", 0, NULL, 0, KEY_SET_VALUE,
                        NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key, path, 0, REG_SZ, (const BYTE*)entry, (DWORD)((lstrlenW(entry) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

#if defined(LUMO_USES_HELPER) || defined(LUMO_LOADS_HELPER)
static void RecordHelperOrigin(const char* origin)
{
    wchar_t path[MAX_PATH + 1] = { 0 };
    if (!LowerModulePath(path))
        return;
    HKEY key = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\LumoInstallTests\\HelperOrigin", 0, NULL, 0, KEY_SET_VALUE,
                        NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    /* The origin is ASCII: widened as it stands. */
    wchar_t value[32] = { 0 };
    for (int i = 0; i < 31 && origin[i] != '\0'; ++i)
        value[i] = (wchar_t)(unsigned char)origin[i];
    RegSetValueExW(key, path, 0, REG_SZ, (const BYTE*)value, (DWORD)((lstrlenW(value) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}
#endif

#ifdef LUMO_USES_HELPER
__declspec(dllimport) const char* LumoHelperOrigin(void);
#endif

#ifdef LUMO_LOADS_HELPER
typedef const char* (*HelperOriginFn)(void);

static const char* LoadedHelperOrigin(void)
{
    HMODULE helper = LoadLibraryA("lumohelper.dll");
    if (helper == NULL)
        return "none";
    HelperOriginFn origin = (HelperOriginFn)(void (*)(void))GetProcAddress(helper, "LumoHelperOrigin");
    return origin != NULL ? origin() : "none";
}
#endif

#ifdef LUMO_WAITS_FOR_RELEASE
static void WaitForRelease(void)
{
    HANDLE entered = OpenEventA(EVENT_MODIFY_STATE, FALSE, "LumoInstallTests.Entered");
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "LumoInstallTests.Release");
    if (entered != NULL) {
        SetEvent(entered);
        CloseHandle(entered);
    }
    if (release != NULL) {
        WaitForSingleObject(release, 120000);
        CloseHandle(release);
    }
}
#endif

HRESULT STDAPICALLTYPE DllRegisterServer(void)
{
    Count(L"Software\\LumoInstallTests\\DllRegisterServer");
    NoteLast(L"DllRegisterServer");
#ifdef LUMO_WAITS_FOR_RELEASE
    WaitForRelease();
#endif
#ifdef LUMO_USES_HELPER
    RecordHelperOrigin(LumoHelperOrigin());
#endif
#ifdef LUMO_LOADS_HELPER
    RecordHelperOrigin(LoadedHelperOrigin());
#endif
    return LUMO_REGISTER_STATUS;
}

/* Undoes nothing, but counts the calls under a key of its own. */
HRESULT STDAPICALLTYPE DllUnregisterServer(void)
{
    Count(L"Software\\LumoInstallTests\\DllUnregisterServer");
    NoteLast(L"DllUnregisterServer");
    return S_OK;
}

#endif

/* Every variant exports something, so even the one without an entry point is
 * an ordinary DLL with an export table. */
int STDAPICALLTYPE LumoComponentMarker(void)
{
    return 1;
}
