#include "support/pe_image.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace kvztl::test {

std::vector<char> ReadFileBytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::vector<char>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

Imports ReadImports(const std::vector<char>& image) {
    Imports result;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
    result.machine = nt->FileHeader.Machine;
    result.subsystem = nt->OptionalHeader.Subsystem;
    result.dllCharacteristics = nt->OptionalHeader.DllCharacteristics;
    // The section table follows the optional header (what IMAGE_FIRST_SECTION works out,
    // without its cast from const).
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        reinterpret_cast<const char*>(&nt->OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader);
    auto at = [&](DWORD rva) -> const char* {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const auto& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize) {
                return image.data() + s.PointerToRawData + (rva - s.VirtualAddress);
            }
        }
        return nullptr;
    };
    const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(directory.VirtualAddress));
         entry && entry->Name; ++entry) {
        std::string dll = at(entry->Name);
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return std::tolower(c); });
        result.dlls.insert(dll);
        for (const auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA64*>(at(entry->OriginalFirstThunk));
             thunk && thunk->u1.AddressOfData; ++thunk) {
            if (!IMAGE_SNAP_BY_ORDINAL64(thunk->u1.Ordinal)) {
                result.functions.insert(
                    reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(at(static_cast<DWORD>(thunk->u1.AddressOfData)))
                        ->Name);
            }
        }
    }
    return result;
}

}  // namespace kvztl::test
