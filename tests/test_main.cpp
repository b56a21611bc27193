// Runs the tests of one executable in a single-threaded apartment, with the module record of the
// linked-in component started as the library's entry routine would.
#include <windows.h>

#include <gtest/gtest.h>

#include "server/module.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    vinspect::StartModule(vinspect::ServedClasses(), GetModuleHandleA(nullptr));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = RUN_ALL_TESTS();
    CoUninitialize();
    vinspect::StopModule();
    return status;
}
