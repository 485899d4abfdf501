// Entry point of every test program: one single-threaded apartment around the whole run.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>
#include "DesktopLock.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    g_desktopRefused = [](const char* why) { ADD_FAILURE() << why; };
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return 2;
    int rc = RUN_ALL_TESTS();
    ::CoUninitialize();
    return rc;
}
