#include "tracker/service_locator.h"

#include <algorithm>
#include <cwchar>
#include <mutex>
#include <set>
#include <vector>

#include "tracker/service_calls.h"

// Not in every SDK's headers.
#ifndef ERROR_SERVICE_NOTIFY_CLIENT_LAGGING
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294L
#endif

namespace kvztl {
namespace {

constexpr const wchar_t* kProgramFile = L"bnbt.exe";

bool SameText(std::wstring_view a, std::wstring_view b) noexcept {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// How much of an unquoted command line is the program: up to the first ".exe" that a space or
// the end follows (a path may hold spaces), else up to the first space.
size_t UnquotedProgramLength(std::wstring_view command) noexcept {
    constexpr std::wstring_view kExtension = L".exe";
    for (size_t space = command.find(L' ');; space = command.find(L' ', space + 1)) {
        const size_t end = space == std::wstring_view::npos ? command.size() : space;
        if (end >= kExtension.size() &&
            SameText(command.substr(end - kExtension.size(), kExtension.size()), kExtension)) {
            return end;
        }
        if (space == std::wstring_view::npos) return command.find(L' ');
    }
}

// The names of every Win32 service, in one enumeration (more calls only where they do not fit
// in one buffer); nothing when the manager refuses.
std::optional<std::vector<std::wstring>> ServiceNames(SC_HANDLE manager) {
    std::vector<std::wstring> names;
    std::vector<BYTE> buffer(size_t{64} * 1024);
    DWORD resume = 0;
    for (;;) {
        DWORD needed = 0, count = 0;
        const BOOL last =
            EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, buffer.data(),
                                  static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
        if (!last && GetLastError() != ERROR_MORE_DATA) return std::nullopt;
        const auto* services = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) names.emplace_back(services[i].lpServiceName);
        if (last) return names;
        if (count == 0) {
            if (needed <= buffer.size()) return std::nullopt;  // no progress
            buffer.resize(needed);
        }
    }
}

// The manager's notice that a service was created or deleted: a call to the search thread,
// while it waits alertably.
struct ManagerNotice {
    SERVICE_NOTIFYW notify{};
    bool armed = false;                 // asked for, not come yet
    bool arrived = false;               // come, not yet acted on
    bool lagging = false;               // the manager handle must be opened again
    std::vector<std::wstring> created;  // the services it named as created

    static void CALLBACK Arrived(void* parameter) {
        auto& notice = *static_cast<ManagerNotice*>(static_cast<SERVICE_NOTIFYW*>(parameter)->pContext);
        notice.armed = false;
        notice.arrived = true;
        notice.lagging = notice.notify.dwNotificationStatus == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING;
        // A list of names, each "/name" when created or "\\name" when deleted.
        for (const wchar_t* name = notice.notify.pszServiceNames; name && *name; name += wcslen(name) + 1) {
            if (*name == L'/') notice.created.emplace_back(name + 1);
        }
        if (notice.notify.pszServiceNames) LocalFree(notice.notify.pszServiceNames);
        notice.notify.pszServiceNames = nullptr;
    }

    void Arm(SC_HANDLE manager, const TrackerServiceLocator::Calls& calls) {
        notify = {};
        notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
        notify.pfnNotifyCallback = &Arrived;
        notify.pContext = this;
        // The notice may come within the call, when the manager waits alertably.
        armed = true;
        const DWORD result = calls.notify(manager, SERVICE_NOTIFY_CREATED | SERVICE_NOTIFY_DELETED, &notify);
        if (result == ERROR_SUCCESS) return;
        armed = false;
        lagging = result == ERROR_SERVICE_NOTIFY_CLIENT_LAGGING;
    }
};

}  // namespace

std::wstring_view ProgramFileOf(std::wstring_view command) noexcept {
    std::wstring_view program = command;
    if (program.starts_with(L'"')) {
        program.remove_prefix(1);
        program = program.substr(0, program.find(L'"'));
    } else {
        program = program.substr(0, UnquotedProgramLength(program));
    }
    const size_t slash = program.find_last_of(L"\\/");
    return slash == std::wstring_view::npos ? program : program.substr(slash + 1);
}

std::optional<bool> RunsTheTracker(SC_HANDLE manager, const std::wstring& name) {
    const UniqueServiceHandle service = OpenNamed(manager, name, SERVICE_QUERY_CONFIG);
    if (!service) return GetLastError() == ERROR_ACCESS_DENIED ? std::optional(false) : std::nullopt;
    const ServiceConfig config(service.get());
    if (!config.get()) return std::nullopt;
    return config.get()->lpBinaryPathName && SameText(ProgramFileOf(config.get()->lpBinaryPathName), kProgramFile);
}

struct TrackerServiceLocator::Shared {
    explicit Shared(Calls with) : calls(std::move(with)) {}

    const Calls calls;
    UniqueHandle stop{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::mutex mutex;
    std::optional<std::wstring> found;  // by the search
    HWND window = nullptr;
    UINT message = 0;

    bool Stopping() const noexcept { return WaitForSingleObject(stop.get(), 0) == WAIT_OBJECT_0; }

    std::optional<std::wstring> Found() {
        const std::lock_guard lock(mutex);
        return found;
    }

    void Found(std::optional<std::wstring> now) {
        const std::lock_guard lock(mutex);
        if (now == found) return;
        found = std::move(now);
        if (window) PostMessageW(window, message, 0, 0);
    }

    // Reads the programs of the services not read before, until one is the tracker's; forgets
    // an answer whose service has gone. False when the services, or one of them, could not be
    // read.
    bool Look(SC_HANDLE manager, std::set<std::wstring>& read) {
        const std::optional<std::vector<std::wstring>> names = ServiceNames(manager);
        if (!names) return false;
        std::optional<std::wstring> answer = Found();
        if (answer && std::find(names->begin(), names->end(), *answer) == names->end()) answer.reset();
        const std::set<std::wstring> present(names->begin(), names->end());
        std::erase_if(read, [&present](const std::wstring& name) { return !present.contains(name); });
        bool complete = true;
        for (const std::wstring& name : *names) {
            if (answer || Stopping()) break;
            if (read.contains(name)) continue;
            const std::optional<bool> runs = calls.runsTheTracker(manager, name);
            if (!runs) {
                complete = false;  // read again at the next look
                continue;
            }
            read.insert(name);
            if (*runs) answer = name;
        }
        Found(std::move(answer));
        return complete;
    }

    // What a notice that came has told: the services it named as created are read again (made
    // again under their name, perhaps).
    static void TakeNotice(ManagerNotice& notice, std::set<std::wstring>& read) {
        notice.lagging = notice.arrived = false;
        for (const std::wstring& name : notice.created) read.erase(name);
        notice.created.clear();
    }

    // True when the hour to read every service again has come; the next one is set then.
    static bool TimeToReadAll(ULONGLONG& at, ULONGLONG every) noexcept {
        if (GetTickCount64() < at) return false;
        at = GetTickCount64() + every;
        return true;
    }

    void Search() {
        const auto lookAgain = static_cast<DWORD>(calls.lookAgain.count());
        const auto readAllEvery = static_cast<ULONGLONG>(calls.readAllAgain.count());
        std::set<std::wstring> read;
        UniqueServiceHandle manager;
        auto notice = std::make_unique<ManagerNotice>();
        ULONGLONG readAllAgain = GetTickCount64() + readAllEvery;
        // As of the last look that read every service, where no notice comes; none after a
        // look that failed, so that the next one is made whatever the registry shows.
        std::optional<ServicesStamp> stamp;
        bool complete = true;  // the last look read every service it had to
        while (!Stopping()) {
            if (notice->lagging) manager.reset();
            TakeNotice(*notice, read);
            const bool readAll = TimeToReadAll(readAllAgain, readAllEvery);
            if (readAll) read.clear();
            if (!manager) manager = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE);
            if (!manager) {
                WaitForSingleObject(stop.get(), lookAgain);
                continue;
            }
            // Asked for first, so that a service made while the others are read is not missed.
            if (!notice->armed) notice->Arm(manager.get(), calls);
            // No notice: the services are enumerated again only when the registry shows a change
            // (read first, for the same reason), or the last look failed.
            const std::optional<ServicesStamp> now = notice->armed ? std::nullopt : ReadServicesStamp();
            if (!notice->armed && !readAll && complete && now && now == stamp) {
                WaitForSingleObjectEx(stop.get(), lookAgain, TRUE);
                continue;
            }
            complete = Look(manager.get(), read);
            stamp = complete ? now : std::nullopt;
            if (notice->arrived || notice->lagging) continue;
            // Armed, the notice says when to look again; a failed look is made again soon all the
            // same.
            const DWORD wait = notice->armed && complete ? static_cast<DWORD>(readAllEvery) : lookAgain;
            WaitForSingleObjectEx(stop.get(), wait, TRUE);
        }
        manager.reset();  // cancels a notice still armed
        SleepEx(0, TRUE);
        // One that the system may still fill in is left to it.
        if (notice->armed) (void)notice.release();
    }
};

std::optional<ServicesStamp> ReadServicesStamp() noexcept {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services", 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    const UniqueKey key(opened);
    ServicesStamp stamp;
    FILETIME written{};
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &stamp.count, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &written) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    stamp.written = (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return stamp;
}

TrackerServiceLocator::TrackerServiceLocator() : TrackerServiceLocator(Calls{}) {}

TrackerServiceLocator::TrackerServiceLocator(Calls calls) : shared_(std::make_unique<Shared>(std::move(calls))) {
    // Without an event to stop it there is no search: the name alone finds the service.
    if (shared_->stop) search_ = std::thread([shared = shared_.get()] { shared->Search(); });
}

TrackerServiceLocator::~TrackerServiceLocator() {
    if (!search_.joinable()) return;
    SetEvent(shared_->stop.get());
    search_.join();
}

std::optional<std::wstring> TrackerServiceLocator::Find() const {
    const UniqueServiceHandle manager = OpenManager();
    if (manager) {
        // A service that this account may not even query is there all the same.
        if (OpenNamed(manager.get(), kTrackerServiceName, SERVICE_QUERY_STATUS) ||
            GetLastError() == ERROR_ACCESS_DENIED) {
            return kTrackerServiceName;
        }
    }
    return shared_->Found();
}

void TrackerServiceLocator::TellChanges(HWND window, UINT message) {
    const std::lock_guard lock(shared_->mutex);
    shared_->window = window;
    shared_->message = message;
}

}  // namespace kvztl
