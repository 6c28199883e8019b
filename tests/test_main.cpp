#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "platform/dpi.h"

int main(int argc, char** argv) {
    kvztl::EnablePerMonitorDpiAwareness();
    const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
