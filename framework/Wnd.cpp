#include "framework/Wnd.h"

#include "framework/Text.h"

#include <commctrl.h>

#include <vector>

namespace {
constexpr UINT_PTR kSubclassId = 1;
}

CWnd::~CWnd()
{
    // A late message must never reach a half-destroyed object.
    UnsubclassWindow();
}

HWND CWnd::Detach()
{
    UnsubclassWindow();
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}

bool CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == nullptr || !::SetWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId,
                                                reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = hWnd;
    m_subclassed = true;
    return true;
}

void CWnd::UnsubclassWindow()
{
    if (m_subclassed && m_hWnd != nullptr)
        ::RemoveWindowSubclass(m_hWnd, &CWnd::SubclassProc, kSubclassId);
    m_subclassed = false;
}

std::string CWnd::GetWindowText() const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, buffer.data(), length + 1);
    return Utf8(std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0));
}

void CWnd::SetWindowText(const std::string& text) const
{
    ::SetWindowTextW(m_hWnd, Wide(text).c_str());
}

void CWnd::SetDlgItemText(int id, const std::string& text) const
{
    ::SetDlgItemTextW(m_hWnd, id, Wide(text).c_str());
}

std::string CWnd::GetDlgItemText(int id) const
{
    CWnd item;
    item.Attach(GetDlgItem(id));
    const std::string text = item.GetWindowText();
    item.Detach();
    return text;
}

RECT CWnd::GetWindowRect() const
{
    RECT rect{};
    ::GetWindowRect(m_hWnd, &rect);
    return rect;
}

RECT CWnd::GetClientRect() const
{
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    return rect;
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == nullptr)
        return FALSE;
    HWND hWnd = Detach();
    return ::DestroyWindow(hWnd);
}

const fw::MessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

const fw::MessageMap* CWnd::GetThisMessageMap()
{
    static const fw::MessageMapEntry entries[] = { { 0, 0, 0, nullptr } };
    static const fw::MessageMap map = { nullptr, entries };
    return &map;
}

bool CWnd::DispatchToMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const UINT code = HIWORD(wParam);
    const UINT id = LOWORD(wParam);
    for (const fw::MessageMap* map = GetMessageMap(); map != nullptr;
         map = map->base ? map->base() : nullptr) {
        for (const fw::MessageMapEntry* entry = map->entries; entry->thunk != nullptr; ++entry) {
            if (entry->message != message)
                continue;
            if (message == WM_COMMAND && (entry->id != id || entry->code != code))
                continue;
            m_defaultRequested = false;
            const bool handled = entry->thunk(*this, wParam, lParam, result);
            return handled && !m_defaultRequested;
        }
    }
    return false;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (DispatchToMap(message, wParam, lParam, result))
        return result;
    return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR refData)
{
    auto* self = reinterpret_cast<CWnd*>(refData);
    if (message == WM_NCDESTROY) {
        // The window goes away before its object: forget it.
        ::RemoveWindowSubclass(hWnd, &CWnd::SubclassProc, kSubclassId);
        self->m_subclassed = false;
        self->m_hWnd = nullptr;
        return ::DefSubclassProc(hWnd, message, wParam, lParam);
    }
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        // No exception may unwind through the platform's code.
        return ::DefSubclassProc(hWnd, message, wParam, lParam);
    }
}
