// The program's own COM registration: its AppID from the registration
// script among its resources, and its type library when it has one.
#pragma once

#include <windows.h>

#include <string>

// Writes (or removes) what the script 103 of type "REGISTRY" of the program
// names, through the system registrar; the registrar's or the script's result.
HRESULT UpdateRegistryFromScript(const std::string& program, bool doRegister);
// The type library of the program file, or of the file of the same name with
// the extension ".tlb"; a missing one is the normal case.
HRESULT RegisterTypeLibrary(const std::string& program);
HRESULT UnregisterTypeLibrary(const std::string& program);

// The step of the command-line switch scan: the position just after the
// first of the switch characters found from text on, or null when none.
const char* FindSwitch(const char* text, const char* switchChars);

enum class ServerSwitch { None, Register, Unregister };
// Which registration switch ends the command line, if any.
ServerSwitch FindServerSwitch(const char* commandLine);
