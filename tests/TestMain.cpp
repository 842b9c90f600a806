#include "framework/Dialog.h"

#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // As at the program's start: COM for the thread, the common controls ready.
    ::CoInitialize(nullptr);
    AfxInitCommonControls();
    const int result = RUN_ALL_TESTS();
    ::CoUninitialize();
    return result;
}
