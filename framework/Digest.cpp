#include "framework/Digest.h"

#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

namespace {

class Provider {
public:
    Provider()
    {
        if (!::CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
            provider_ = 0;
    }
    ~Provider()
    {
        if (hash_ != 0)
            ::CryptDestroyHash(hash_);
        if (provider_ != 0)
            ::CryptReleaseContext(provider_, 0);
    }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;

    bool Hash(const std::string& bytes, BYTE (&digest)[32])
    {
        if (provider_ == 0 || !::CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_))
            return false;
        // In pieces a DWORD can count.
        for (size_t at = 0; at < bytes.size();) {
            const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1u << 30));
            if (!::CryptHashData(hash_, reinterpret_cast<const BYTE*>(bytes.data() + at), piece, 0))
                return false;
            at += piece;
        }
        DWORD size = sizeof(digest);
        return ::CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0) && size == sizeof(digest);
    }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};

} // namespace

std::string Sha256Hex(const std::string& bytes)
{
    BYTE digest[32] = {};
    Provider provider;
    if (!provider.Hash(bytes, digest))
        return std::string();
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const BYTE b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}
