// What a PE32+ image imports, for checks on the built program.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace kvztl::test {

struct Imports {
    std::set<std::string> dlls;  // lower case
    std::set<std::string> functions;
    WORD machine = 0;
    WORD subsystem = 0;
    WORD dllCharacteristics = 0;
};

std::vector<char> ReadFileBytes(const std::wstring& path);
Imports ReadImports(const std::vector<char>& image);

}  // namespace kvztl::test
