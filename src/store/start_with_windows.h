// Starting a program when the user signs in: the value `name` under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Run, holding the program's quoted full path.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace kvztl {

class StartWithWindows {
public:
    static constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

    StartWithWindows(std::wstring name, std::wstring programPath);

    // The value as it stands, whatever program it names; nothing when there is none.
    std::optional<std::wstring> Command() const;
    // True when the value names this program (quoted or not, in any letter case).
    bool Enabled() const;
    // Writes the value, or removes it (an absent value is removed already).
    LSTATUS Enable() const;
    LSTATUS Disable() const;

private:
    std::wstring name_;
    std::wstring programPath_;
};

}  // namespace kvztl
