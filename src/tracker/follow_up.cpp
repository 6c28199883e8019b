#include "tracker/follow_up.h"

#include "platform/system_message.h"

namespace kvztl {
namespace {

constexpr const wchar_t* kNotInstalled =
    L"The tracker's service is not installed. Tick \"ENABLE SERVICE INSTALLATION MANAGEMENT\" in the settings "
    L"window, then click \"INSTALL BNBT SERVICE\".";
constexpr const wchar_t* kDisabled =
    L"The tracker's service is disabled. Set its startup type to Manual or Automatic in Services (services.msc), "
    L"then start it again.";

std::wstring StartedAndStopped(DWORD exitCode) {
    return L"The tracker started and stopped again (exit code " + ExitCodeText(exitCode) + L").";
}

}  // namespace

std::wstring ServiceRefusalText(bool start, DWORD error) {
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return kNotInstalled;
    if (error == ERROR_SERVICE_DISABLED) return kDisabled;
    return std::wstring(start ? L"Could not start" : L"Could not stop") + L" the tracker's service: " +
           SystemMessage(error);
}

std::optional<std::wstring> StartVerdict(const StartFollowUp& start, bool running, bool commandEnded,
                                         std::chrono::steady_clock::time_point now,
                                         const std::function<ServiceFacts()>& service) {
    if (running) return std::wstring();
    if (start.serviceStoppedWith) return StartedAndStopped(*start.serviceStoppedWith);
    if (!commandEnded) return std::nullopt;
    if (service) {
        const ServiceFacts facts = service();
        if (!facts.installed) return kNotInstalled;
        if (facts.disabled) return kDisabled;
        // Started before this watch began, and stopped again.
        if (facts.state == SERVICE_STOPPED && facts.exitCode != ERROR_SUCCESS && now - start.asked >= kStartPatience) {
            return StartedAndStopped(facts.exitCode);
        }
    }
    if (now - start.asked < kStartPatience) return std::nullopt;
    return L"The tracker did not start within 10 seconds of being asked to.";
}

std::optional<std::wstring> StopVerdict(std::chrono::steady_clock::time_point asked, bool running,
                                        std::chrono::steady_clock::time_point now) {
    if (!running) return std::wstring();
    if (now - asked < kStopPatience) return std::nullopt;
    return L"The tracker still runs 30 seconds after it was asked to stop.";
}

}  // namespace kvztl
