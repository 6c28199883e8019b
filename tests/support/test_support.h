// Helpers shared by the tests: a private settings key, message pumping, processes and the
// stand-in tracker with its service and launch log, the environment, input as the mouse
// gives it, and a recording stand-in for the shell call.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/dpi.h"
#include "platform/handles.h"
#include "store/settings_store.h"

// Rectangles compare and print readably in test failures.
inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
inline void PrintTo(const RECT& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
namespace kvztl {
inline void PrintTo(const TwipsRect& r, std::ostream* out) {
    *out << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "} twips";
}
}  // namespace kvztl

namespace kvztl::test {

using namespace std::chrono_literals;

// The settings of the test now running, under HKCU\Software\KV_ZTL_Tests\<test>; deleted
// before and after.
class TestStore {
public:
    TestStore();
    ~TestStore();
    const SettingsStore& store() const { return store_; }
    const std::wstring& subkey() const { return subkey_; }

private:
    std::wstring subkey_;
    SettingsStore store_;
};

// The program's own settings key, emptied before and after (for tests that start kv-ztl.exe).
class ProgramStore {
public:
    ProgramStore();
    ~ProgramStore();
    const SettingsStore& store() const { return store_; }

private:
    SettingsStore store_;
};

// A value of HKCU\<key> set for the scope (a user preference such as the decimal separator),
// put back as it was afterwards.
class ScopedUserValue {
public:
    ScopedUserValue(const wchar_t* key, const wchar_t* name, const std::wstring& text);
    ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD number);
    // Absent for the scope.
    ScopedUserValue(const wchar_t* key, const wchar_t* name);
    ~ScopedUserValue();
    ScopedUserValue(const ScopedUserValue&) = delete;
    ScopedUserValue& operator=(const ScopedUserValue&) = delete;

private:
    ScopedUserValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD bytes);
    void Save();
    std::wstring key_, name_;
    std::vector<BYTE> saved_;
    DWORD savedType_ = REG_NONE;
    bool had_ = false;
};

// A value of HKCU\<key> as the registry holds it, read past the code under test: its type
// and, for a text, its unexpanded text. Nothing when it is absent.
struct RawValue {
    DWORD type = REG_NONE;
    std::wstring text;
    friend bool operator==(const RawValue&, const RawValue&) = default;
    friend void PrintTo(const RawValue& value, std::ostream* out);
};
std::optional<RawValue> ReadUserValue(const std::wstring& key, const wchar_t* name);

// Lets everyone read the key HKCU\<subkey> and nobody write it.
void MakeReadOnly(const std::wstring& subkey);

// Dispatches this thread's messages until `done` holds or `timeout` passes; true if it held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void PumpFor(std::chrono::milliseconds duration);

std::wstring BinDirectory();   // where the test host, kv-ztl.exe and stand-in\ are
std::wstring KvZtlPath();      // the built kv-ztl.exe, which the end-to-end tests start
std::wstring StandInFolder();  // the stand-in tracker's bnbt.exe and bnbtfrontend.exe

// A running process, ended when the object goes.
class Process {
public:
    Process(const std::wstring& path, const std::wstring& arguments, const std::wstring& directory = L"");
    ~Process();
    bool running() const;
    DWORD id() const { return id_; }
    HANDLE handle() const { return handle_.get(); }
    void Terminate();

private:
    UniqueHandle handle_;
    DWORD id_ = 0;
};

// Runs a program to its end (at most 10 s); its exit code.
DWORD RunToEnd(const std::wstring& path, const std::wstring& arguments);

// A copy of the stand-in tracker under `imageName` in a fresh temporary folder, run in the
// foreground (it stays until ended).
std::unique_ptr<Process> StartTracker(const std::wstring& imageName = L"bnbt.exe");
// The processes with that image name (any letter case).
std::vector<DWORD> ProcessIds(const wchar_t* imageName);
// Ends every process with that image name.
void EndAll(const wchar_t* imageName);
inline void EndAllTrackers() { EndAll(L"bnbt.exe"); }

// SERVICE_RUNNING, SERVICE_STOPPED... of the service named so; 0 when it is not installed.
DWORD ServiceState(const std::wstring& name);

// The stand-in tracker's service "BNBT Service", which its "-i" installs: stopped and
// removed, with every tracker process ended, when the object is made and when it goes.
class TrackerService {
public:
    static constexpr const wchar_t* kName = L"BNBT Service";
    TrackerService();
    ~TrackerService();
    TrackerService(const TrackerService&) = delete;
    TrackerService& operator=(const TrackerService&) = delete;
    // Runs the stand-in's "bnbt.exe -i" and waits for it.
    void Install() const;
    // SERVICE_RUNNING, SERVICE_STOPPED...; 0 when the service is not installed.
    static DWORD State();
};

// A service made for the scope: stopped demand-start, running `commandLine`; stopped and
// deleted when the object goes (and first, when a run that was ended left it).
class ScopedService {
public:
    ScopedService(std::wstring name, const std::wstring& commandLine);
    ~ScopedService();
    ScopedService(const ScopedService&) = delete;
    ScopedService& operator=(const ScopedService&) = delete;
    const std::wstring& name() const { return name_; }

private:
    std::wstring name_;
};

// The services a Windows machine has by the hundred (Wine has about ten): `count` stopped
// demand-start services "KvZtlFiller000"... with command lines of every form (quoted, and
// unquoted with and without spaces), made for the scope.
class FillerServices {
public:
    explicit FillerServices(int count = 300);
    ~FillerServices();
    FillerServices(const FillerServices&) = delete;
    FillerServices& operator=(const FillerServices&) = delete;
    int made() const { return made_; }

private:
    int count_;
    int made_ = 0;
};

// An environment variable set for the scope, for this process and what it starts meanwhile.
class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring name_;
    std::wstring saved_;
    bool had_;
};

// PATH with the stand-in tracker's folder first, for the scope: a bare "bnbt.exe" is found.
class StandInOnPath {
public:
    StandInOnPath();

private:
    ScopedEnvironment path_;
};

// The stand-in's launch log for this test: set in the environment that launched programs
// inherit, removed before and after.
class LaunchLog {
public:
    struct Entry {
        std::wstring program;
        std::wstring commandLine;
        std::wstring directory;
        // What follows the program in the command line: " -start", or "" for none.
        std::wstring Arguments() const;
    };
    LaunchLog();
    ~LaunchLog();
    std::vector<Entry> Entries() const;
    // Waits (pumping messages) until at least `count` entries are there.
    std::vector<Entry> WaitFor(size_t count, std::chrono::milliseconds timeout = 10s) const;

private:
    std::wstring path_;
    ScopedEnvironment variable_;
};

// A folder named after the test in %TEMP%, emptied first.
std::wstring TempFolder(const std::wstring& name);

// `text` in UTF-8.
std::string Utf8(const std::wstring& text);

// The text of a window of any process, as the window itself gives it (WM_GETTEXT).
std::wstring TextOf(HWND hwnd);

// The colour the screen shows inside a window's lower left corner, clear of any text.
COLORREF ScreenColourAt(HWND hwnd);
// The colour the screen shows at a point.
COLORREF ScreenColourAt(POINT screen);

// Stands in for the shell call of the launcher: records each request and answers as told.
struct ShellRecorder {
    struct Call {
        ULONG mask;
        HWND owner;
        std::wstring verb, file, parameters, directory;
        int show;
        bool parametersNull, directoryNull;
        APTTYPE apartment;  // the calling thread's COM apartment at the call
    };
    std::vector<Call> calls;
    BOOL result = TRUE;
    DWORD error = ERROR_SUCCESS;  // set as the last error when result is FALSE
    // A command line started at each call that asks for the process, and handed back as the
    // process the shell started (none when empty).
    std::wstring handOver;

    BOOL operator()(SHELLEXECUTEINFOW& info);
    size_t Count(const std::wstring& parameters) const;
};

// Runs `action` while every message box this thread shows meanwhile is read and answered
// with `button` (IDOK, IDCANCEL, IDYES...): their texts, in order. `action` is handed the
// texts read so far, to wait for them.
using Answered = std::vector<std::wstring>;
Answered AnswerOwnMessageBoxes(const std::function<void(const Answered& answered)>& action, int button);

// A security descriptor as Windows hands it out: read from `sddl` and written back (DACL and
// SACL) by the system's own converters, which write an entry's rights in their own order.
std::wstring AsTheSystemWritesIt(const std::wstring& sddl);

// Presses keys as the keyboard would, into whatever has the focus: virtual-key codes, each
// pressed and let go, or held while the next are pressed when it is VK_MENU (Alt).
void PressKeys(std::initializer_list<WORD> keys);

// Pumps messages until a click now would not make a double-click with the last one.
void PumpPastDoubleClick();
// Moves the mouse to a point of the screen and presses and lets go of its right or left button.
void RightClickAt(POINT screen);
void ClickAt(POINT screen);
void DoubleClickAt(POINT screen);
// Moves the mouse there, as the mouse would (the window below hears it move).
void MoveMouseTo(POINT screen);

// Double-clicks or clicks a control as the mouse would, through its own messages. Posted,
// the double-click does not wait for what it starts (a modal window of another process).
enum class Delivery { Send, Post };
void DoubleClick(HWND control, Delivery delivery = Delivery::Send);
void Click(HWND control);

bool IsTopmost(HWND hwnd);

// How long a window (of any process) took to answer a sent message, in milliseconds.
double AnswerMilliseconds(HWND window);

// A plain top-level window for tests that need an owner or another window in front.
UniqueWindow CreatePlainWindow();

// Collects, while it lives, what this process sends to a debugger with OutputDebugString,
// which raises a first-chance exception that a vectored handler sees before anything else.
class DebugTraces {
public:
    DebugTraces();
    ~DebugTraces();
    DebugTraces(const DebugTraces&) = delete;
    DebugTraces& operator=(const DebugTraces&) = delete;
    static std::string All();

private:
    PVOID handler_;
};

}  // namespace kvztl::test
