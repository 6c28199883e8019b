// Which service is the tracker's: "BNBT Service" where it exists, looked up by its name, else
// the service whose program is bnbt.exe. A Windows machine has hundreds of services, and
// finding one by its program means opening and reading each, so that search runs on a thread
// of its own: once at start, and again when the service control manager says that a service
// was created (where it says nothing, every minute, once the registry shows a service more or
// fewer), and then reads only the services it has not read before. The window thread only
// ever asks for the name.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/handles.h"

namespace kvztl {

inline constexpr const wchar_t* kTrackerServiceName = L"BNBT Service";

// The file name of the program a service's command line runs: "bnbt.exe" of
// "\"C:\BNBT\bnbt.exe\" -s", of "C:\BNBT\bnbt.exe -s" and of the unquoted
// "C:\Program Files\BNBT\bnbt.exe -s".
std::wstring_view ProgramFileOf(std::wstring_view command) noexcept;

// What the registry shows of the services without reading them: how many there are, and
// when one was last added or removed (the time the Services key was last written).
struct ServicesStamp {
    DWORD count = 0;
    ULONGLONG written = 0;
    friend bool operator==(const ServicesStamp&, const ServicesStamp&) = default;
};
std::optional<ServicesStamp> ReadServicesStamp() noexcept;

// Whether the program of the service `name` is the tracker's; nothing when its configuration
// could not be read this time (one that this account may not read at all counts as read).
std::optional<bool> RunsTheTracker(SC_HANDLE manager, const std::wstring& name);

class TrackerServiceLocator {
public:
    // What the search asks of the system and how often, so that tests may stand in for what
    // only Windows does (the notice of a service created) and for a look that fails.
    struct Calls {
        // NotifyServiceStatusChangeW on the manager's handle, from the search's thread.
        std::function<DWORD(SC_HANDLE, DWORD, PSERVICE_NOTIFYW)> notify = &NotifyServiceStatusChangeW;
        std::function<std::optional<bool>(SC_HANDLE, const std::wstring&)> runsTheTracker = &RunsTheTracker;
        // Where no notice comes, or a look failed: how soon to look again.
        std::chrono::milliseconds lookAgain{60'000};
        // How often every service is read again.
        std::chrono::milliseconds readAllAgain{60 * 60'000};
    };

    // Starts the search by program.
    TrackerServiceLocator();
    explicit TrackerServiceLocator(Calls calls);
    // Stops the search (at once, between two services).
    ~TrackerServiceLocator();
    TrackerServiceLocator(const TrackerServiceLocator&) = delete;
    TrackerServiceLocator& operator=(const TrackerServiceLocator&) = delete;

    // The tracker's service: one look-up by name, else what the search found last; nothing
    // when there is none. From any thread.
    std::optional<std::wstring> Find() const;

    // From now on `message` is posted to `window` whenever the search's answer changes.
    void TellChanges(HWND window, UINT message);

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
    std::thread search_;
};

}  // namespace kvztl
