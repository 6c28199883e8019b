// The built kv-ztl.exe as a file: what it imports, what its manifest asks for, its icon.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

TEST(Executable, IsOneSmallX64GuiProgramThatImportsOnlySystemDlls) {
    const std::vector<char> image = test::ReadFileBytes(test::KvZtlPath());
    ASSERT_GT(image.size(), 0u);
#ifdef NDEBUG  // what users download; a debug build carries its symbols
    EXPECT_LE(image.size(), 1024u * 1024u);
#endif

    const test::Imports imports = test::ReadImports(image);
    EXPECT_EQ(imports.machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(imports.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI) << "no console window";
    // On a Remote Desktop server the system's folders, not the user's private copies.
    EXPECT_TRUE(imports.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::set<std::string> allowed{"advapi32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "user32.dll"};
    for (const std::string& dll : imports.dlls) {
        EXPECT_TRUE(allowed.count(dll)) << dll;
        const std::wstring path = std::wstring(system) + L"\\" + std::wstring(dll.begin(), dll.end());
        EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << dll << " is not a system DLL";
    }
    // Hardening: DLLs come from the system folder only, and the shell is reached through its
    // wide-character entry (looked up by name when first needed).
    EXPECT_TRUE(imports.functions.count("SetDefaultDllDirectories"));
    const std::string text(image.begin(), image.end());
    EXPECT_NE(text.find("ShellExecuteExW"), std::string::npos);
    EXPECT_EQ(text.find("ShellExecuteA"), std::string::npos);
}

class ProgramResources : public ::testing::Test {
protected:
    void SetUp() override {
        module = LoadLibraryExW(test::KvZtlPath().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_TRUE(module);
    }
    void TearDown() override { FreeLibrary(module); }
    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC found = FindResourceW(module, name, type);
        if (!found) return {};
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(data, SizeofResource(module, found));
    }
    HMODULE module = nullptr;
};

TEST_F(ProgramResources, ManifestAsksForNoElevationVisualStylesAndPerMonitorDpi) {
    const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find(R"(level="asInvoker")"), std::string::npos);
    EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string::npos);
    EXPECT_NE(manifest.find("PerMonitorV2, PerMonitor"), std::string::npos);
    EXPECT_NE(manifest.find("true/pm"), std::string::npos);
}

TEST_F(ProgramResources, CarriesItsIconInFourSizesAndAVersion) {
    const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1));
    ASSERT_GE(group.size(), 6u);
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        // GRPICONDIRENTRY: width at offset 0 of each 14-byte entry after the 6-byte header.
        sizes.insert(static_cast<unsigned char>(group[6 + 14 * i]));
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 100}));
    EXPECT_FALSE(Resource(RT_VERSION, MAKEINTRESOURCEW(1)).empty());
}

}  // namespace
}  // namespace kvztl
