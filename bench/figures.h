// The figures of a running process: CPU time, memory, handles, GDI and USER objects.
#pragma once

#include <windows.h>

namespace kvztl::bench {

struct ProcessFigures {
    double cpuSeconds = 0;
    double workingSetMb = 0;
    double peakWorkingSetMb = 0;
    DWORD handles = 0;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
};

ProcessFigures Measure(HANDLE process);

}  // namespace kvztl::bench
