#include <windows.h>

#include <gtest/gtest.h>

#include "platform/dpi.h"

int main(int argc, char** argv) {
    kvztl::EnablePerMonitorDpiAwareness();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
