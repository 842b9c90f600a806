// A window object that refers to, but does not own, its HWND, and the message
// maps that bind window messages and control notifications to member handlers.
#pragma once

#include <windows.h>
#include <string>

class CWnd;

namespace fw {

// A handler thunk calls one member of a concrete class. It returns false when
// the handler asked for the default processing (CWnd::Default).
using Thunk = bool (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam, LRESULT& result);

struct MessageMapEntry {
    UINT message;   // 0 ends the table
    UINT code;      // WM_COMMAND: notification code
    UINT id;        // WM_COMMAND: control or command id
    Thunk thunk;
};

struct MessageMap {
    const MessageMap* (*base)();
    const MessageMapEntry* entries;
};

template <class T, void (T::*Handler)()>
bool VoidThunk(CWnd& wnd, WPARAM, LPARAM, LRESULT& result)
{
    result = 0;
    (static_cast<T&>(wnd).*Handler)();
    return true;
}

template <class T, LRESULT (T::*Handler)(WPARAM, LPARAM)>
bool MessageThunk(CWnd& wnd, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = (static_cast<T&>(wnd).*Handler)(wParam, lParam);
    return true;
}

template <class T, HBRUSH (T::*Handler)(HDC, HWND)>
bool CtlColorThunk(CWnd& wnd, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = reinterpret_cast<LRESULT>(
        (static_cast<T&>(wnd).*Handler)(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
    return true;
}

template <class T, HCURSOR (T::*Handler)()>
bool QueryDragIconThunk(CWnd& wnd, WPARAM, LPARAM, LRESULT& result)
{
    result = reinterpret_cast<LRESULT>((static_cast<T&>(wnd).*Handler)());
    return true;
}

} // namespace fw

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach();

    // Routes the window's messages through this object's message map; the
    // window's own procedure handles what the map leaves alone.
    bool SubclassWindow(HWND hWnd);
    void UnsubclassWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL ShowWindow(int cmdShow) const { return ::ShowWindow(m_hWnd, cmdShow); }
    BOOL EnableWindow(bool enable) const { return ::EnableWindow(m_hWnd, enable); }
    bool IsWindowVisible() const { return ::IsWindowVisible(m_hWnd) != FALSE; }
    bool IsIconic() const { return ::IsIconic(m_hWnd) != FALSE; }
    // Texts are UTF-8.
    void SetWindowText(const std::string& text) const;
    std::string GetWindowText() const;
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const std::string& text) const;
    std::string GetDlgItemText(int id) const;
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    void Invalidate(bool erase = true) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    virtual BOOL DestroyWindow();

    // Inside a handler: leave the current message to the default processing.
    void Default() { m_defaultRequested = true; }

protected:
    virtual const fw::MessageMap* GetMessageMap() const;
    static const fw::MessageMap* GetThisMessageMap();

    // Looks the message up in the map chain, most derived class first.
    bool DispatchToMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Window procedure of a subclassed window; defers to the original one.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    bool m_subclassed = false;
    bool m_defaultRequested = false;
};

#define DECLARE_MESSAGE_MAP()                                          \
protected:                                                             \
    const fw::MessageMap* GetMessageMap() const override;              \
    static const fw::MessageMap* GetThisMessageMap();

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                            \
    const fw::MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const fw::MessageMap* theClass::GetThisMessageMap()                                   \
    {                                                                                     \
        using ThisClass = theClass;                                                       \
        using TheBaseClass = baseClass;                                                   \
        static const fw::MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                       \
        { 0, 0, 0, nullptr } };                                                 \
        static const fw::MessageMap map = { &TheBaseClass::GetThisMessageMap, entries }; \
        return &map;                                                            \
    }

#define ON_MESSAGE(message, handler) \
    { message, 0, 0, &fw::MessageThunk<ThisClass, &ThisClass::handler> },
#define ON_COMMAND(id, handler) \
    { WM_COMMAND, 0, id, &fw::VoidThunk<ThisClass, &ThisClass::handler> },
#define ON_BN_CLICKED(id, handler) \
    { WM_COMMAND, BN_CLICKED, id, &fw::VoidThunk<ThisClass, &ThisClass::handler> },
#define ON_WM_PAINT() \
    { WM_PAINT, 0, 0, &fw::VoidThunk<ThisClass, &ThisClass::OnPaint> },
#define ON_WM_QUERYDRAGICON() \
    { WM_QUERYDRAGICON, 0, 0, &fw::QueryDragIconThunk<ThisClass, &ThisClass::OnQueryDragIcon> },
// One entry per colour request, as the platform sends a distinct message for each.
#define ON_WM_CTLCOLOR()                                                                  \
    { WM_CTLCOLORDLG, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },      \
    { WM_CTLCOLORSTATIC, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },   \
    { WM_CTLCOLORBTN, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },      \
    { WM_CTLCOLOREDIT, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },     \
    { WM_CTLCOLORLISTBOX, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },  \
    { WM_CTLCOLORSCROLLBAR, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },\
    { WM_CTLCOLORMSGBOX, 0, 0, &fw::CtlColorThunk<ThisClass, &ThisClass::OnCtlColor> },
