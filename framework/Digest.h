// The SHA-256 digest of bytes, from the platform's cryptographic provider.
#pragma once

#include <string>

// 64 lower-case hexadecimal digits; empty when the provider cannot make one.
std::string Sha256Hex(const std::string& bytes);
