// A component's registration through its own DllRegisterServer.
#pragma once

#include <string>

enum RegisterResult : int {
    RegisterOk = 0,
    RegisterNotLoadable = -2,
    RegisterNoEntryPoint = -3,
    RegisterFailed = -4,
};

// Why a registration did not succeed, for the log.
struct RegisterDetail {
    // RegisterNotLoadable, RegisterNoEntryPoint: the platform's error code.
    unsigned long error = 0;
    // RegisterFailed: what the entry point returned (an HRESULT).
    long result = 0;
};

// Loads the component and calls its DllRegisterServer; the library stays
// loaded. Its own imports come from its folder and the system folder only.
RegisterResult SelfRegister(const std::string& path, RegisterDetail* detail = nullptr);

// Loads the component as safely, calls its DllUnregisterServer and unloads it.
RegisterResult SelfUnregister(const std::string& path, RegisterDetail* detail = nullptr);

// Has the system registrar of this program's bitness register the component
// once, at the next start of the machine (its RunOnce key, which runs when an
// administrator logs on). False when that cannot be recorded; error, when
// given, then receives the platform's error code.
bool ScheduleRegistration(const std::string& path, unsigned long* error = nullptr);
// Takes back a registration left to the next start of the machine, if any.
void ForgetRegistrationAtRestart(const std::string& path);

class InstallLog;
// The log's line for what a registration of the component came to (or its
// unregistration, when unregistering), with the reason under a failure.
void LogRegistrationResult(InstallLog& log, RegisterResult result, const RegisterDetail& detail,
                           const std::string& path, bool unregistering = false);
