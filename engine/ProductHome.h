// The product's home: the folder of the program's own files (its copy that
// the entry of Programs and Features starts, and the installation record),
// below the machine's Program Files folder. Only administrators can write
// there on every Windows, whatever folder the delivery names for the
// installation, so a standard user can neither plant nor replace what a
// distribution system later runs as SYSTEM.
#pragma once

#include <string>

// <Program Files of 32-bit programs>\LumoInstall, from the system's known
// folders; empty when the system does not name one.
std::string ProductHomeRoot();

// The home of the product whose entry of Programs and Features is entryKey:
// a folder of ProductHomeRoot() named after the key. Empty without a key.
std::string ProductHome(const std::string& entryKey);

// The name a key gives its home: what a file name cannot hold becomes '_'.
std::string HomeFolderName(const std::string& entryKey);

// The copy of the program that removes the product, in its home.
std::string HomeProgramPath(const std::string& home);
