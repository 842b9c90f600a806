#include "comserver/ComServer.h"

#include "framework/Text.h"
#include "res/resource.h"

#include <objbase.h>
#include <oleauto.h>

#include <string>

// The system registrar's interface, as atl.dll exposes it. Implemented only
// outside this program: it must not have internal linkage, or the compiler may
// assume no implementation exists and drop the calls through it.
const CLSID CLSID_Registrar = { 0x44EC053A, 0x400F, 0x11D0, { 0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3 } };
const IID IID_IRegistrar = { 0x44EC053B, 0x400F, 0x11D0, { 0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3 } };

struct IRegistrar : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR fileName, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR fileName, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR fileName) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR fileName, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR fileName, UINT id, LPCOLESTR type) = 0;
};

namespace {

// Releases a COM interface when it goes out of scope.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr()
    {
        if (ptr_ != nullptr)
            ptr_->Release();
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return ptr_; }
    T* Get() const { return ptr_; }
    T** Receive() { return &ptr_; }

private:
    T* ptr_ = nullptr;
};

// Loads the type library from the program's file, else from the file of the
// same name with the extension ".tlb". Returns the path it loaded from.
HRESULT LoadOwnTypeLibrary(const std::string& program, ITypeLib** library, std::wstring& loadedFrom)
{
    loadedFrom = Wide(program);
    HRESULT hr = ::LoadTypeLib(loadedFrom.c_str(), library);
    if (SUCCEEDED(hr))
        return hr;
    const size_t dot = loadedFrom.rfind(L'.');
    if (dot != std::wstring::npos)
        loadedFrom.erase(dot);
    loadedFrom += L".tlb";
    return ::LoadTypeLib(loadedFrom.c_str(), library);
}

} // namespace

const char* FindSwitch(const char* text, const char* switchChars)
{
    for (; text != nullptr && *text != '\0'; ++text) {
        for (const char* s = switchChars; *s != '\0'; ++s) {
            if (*text == *s)
                return text + 1;
        }
    }
    return nullptr;
}

ServerSwitch FindServerSwitch(const char* commandLine)
{
    // A switch counts only when it runs to the very end of the command line.
    for (const char* hit = FindSwitch(commandLine, "-/"); hit != nullptr; hit = FindSwitch(hit, "-/")) {
        if (lstrcmpiA(hit, "UnregServer") == 0)
            return ServerSwitch::Unregister;
        if (lstrcmpiA(hit, "RegServer") == 0)
            return ServerSwitch::Register;
    }
    return ServerSwitch::None;
}

HRESULT UpdateRegistryFromScript(const std::string& program, bool doRegister)
{
    ComPtr<IRegistrar> registrar;
    HRESULT hr = ::CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                    reinterpret_cast<void**>(registrar.Receive()));
    if (FAILED(hr))
        return hr;

    const std::wstring modulePath = Wide(program);
    std::wstring quoted;
    for (wchar_t c : modulePath) {
        quoted += c;
        if (c == L'\'')
            quoted += L'\'';
    }
    registrar->AddReplacement(L"Module", quoted.c_str());

    if (doRegister)
        return registrar->ResourceRegister(modulePath.c_str(), IDR_REGISTRY_SCRIPT, L"REGISTRY");
    return registrar->ResourceUnregister(modulePath.c_str(), IDR_REGISTRY_SCRIPT, L"REGISTRY");
}

HRESULT RegisterTypeLibrary(const std::string& program)
{
    ComPtr<ITypeLib> library;
    std::wstring path;
    const HRESULT hr = LoadOwnTypeLibrary(program, library.Receive(), path);
    if (FAILED(hr))
        return hr;
    const size_t cut = path.find_last_of(L"\\/:");
    std::wstring helpDir = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
    return ::RegisterTypeLib(library.Get(), &path[0], helpDir.empty() ? nullptr : &helpDir[0]);
}

HRESULT UnregisterTypeLibrary(const std::string& program)
{
    ComPtr<ITypeLib> library;
    std::wstring path;
    const HRESULT hr = LoadOwnTypeLibrary(program, library.Receive(), path);
    if (FAILED(hr))
        return hr;

    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes))) {
        // Looked up at run time, as older systems lack the export.
        using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        if (HMODULE oleaut = ::LoadLibraryA("oleaut32.dll")) {
            auto unregister = reinterpret_cast<UnRegisterTypeLibFn>(
                reinterpret_cast<void*>(::GetProcAddress(oleaut, "UnRegisterTypeLib")));
            if (unregister != nullptr)
                unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
            ::FreeLibrary(oleaut);
        }
        library->ReleaseTLibAttr(attributes);
    }
    return hr;
}
