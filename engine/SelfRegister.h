// A component's registration through its own DllRegisterServer.
#pragma once

#include <string>

enum RegisterResult : int {
    RegisterOk = 0,
    RegisterNotLoadable = -2,
    RegisterNoEntryPoint = -3,
    RegisterFailed = -4,
};

// Loads the component and calls its DllRegisterServer; the library stays
// loaded. Its own imports come from its folder and the system folder only.
RegisterResult SelfRegister(const std::string& path);

// Loads the component as safely, calls its DllUnregisterServer and unloads it.
RegisterResult SelfUnregister(const std::string& path);

// Has the system registrar of this program's bitness register the component
// once, at the next start of the machine (its RunOnce key, which runs when an
// administrator logs on). False when that cannot be recorded.
bool ScheduleRegistration(const std::string& path);
