// Owning wrappers for the handles the program holds. Each releases its handle
// exactly once; none can be copied, so a handle can never be freed twice.
#pragma once

#include <windows.h>
#include <cstdio>
#include <utility>

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle h) noexcept : handle_(h) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

    // Frees the current handle, if any, and takes ownership of another.
    void Reset(Handle h = Traits::Invalid()) noexcept
    {
        if (handle_ != Traits::Invalid())
            Traits::Close(handle_);
        handle_ = h;
    }

    Handle Release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

    // For APIs that return the handle through an out parameter.
    Handle* Receive() noexcept
    {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::Invalid();
};

namespace handle_traits {

template <class H>
struct GdiObject {
    using Handle = H;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteObject(h); }
};

struct RegistryKey {
    using Handle = HKEY;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::RegCloseKey(h); }
};

struct FindFile {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::FindClose(h); }
};

struct KernelFile {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

// A kernel object whose functions give null, not INVALID_HANDLE_VALUE, for
// none (a token, an event).
struct KernelObject {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::CloseHandle(h); }
};

struct CrtFile {
    using Handle = FILE*;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { std::fclose(h); }
};

struct MemoryDc {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::DeleteDC(h); }
};

struct Library {
    using Handle = HMODULE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { ::FreeLibrary(h); }
};

} // namespace handle_traits

using FontHandle = UniqueHandle<handle_traits::GdiObject<HFONT>>;
using BitmapHandle = UniqueHandle<handle_traits::GdiObject<HBITMAP>>;
using RegKey = UniqueHandle<handle_traits::RegistryKey>;
using FindHandle = UniqueHandle<handle_traits::FindFile>;
using CrtFile = UniqueHandle<handle_traits::CrtFile>;
using FileHandle = UniqueHandle<handle_traits::KernelFile>;
using KernelHandle = UniqueHandle<handle_traits::KernelObject>;
using MemoryDc = UniqueHandle<handle_traits::MemoryDc>;
using LibraryHandle = UniqueHandle<handle_traits::Library>;
