#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // As at the program's start: COM for the thread, the common controls ready.
    ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{ sizeof(controls), ICC_PROGRESS_CLASS };
    ::InitCommonControlsEx(&controls);
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
