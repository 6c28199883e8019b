// How the windows meet: the status window opens the settings window, which reads the
// indicator and switches the keeper; the strip and the icon in the notification area are the
// program's two faces.
#pragma once

#include <functional>
#include <memory>

#include "app/single_instance.h"
#include "history_window/history_window.h"
#include "notification_icon/notification_icon.h"
#include "settings_window/settings_window.h"
#include "status_window/status_window.h"

namespace kvztl {

SettingsWindow::Host SettingsHostFor(StatusWindow& status);

// Tells the user that `key` could not be stored and the system's reason: the first time in a
// run only, so that the program goes on working without a message at every write.
void TellStoreFailureOnce(std::wstring_view key, LSTATUS error);
// Tells the user that the tracker's record cannot be written, where and why (the record says it
// once a run).
void TellRecordFailureOnce(const JournalFailure& failure);

// Opens `folder` in the file browser, as the user (not elevated).
void OpenInFileBrowser(const std::wstring& folder);
// Where to save a CSV file, as the user chooses in the system's dialog; nothing when cancelled.
std::optional<std::wstring> ChooseCsvFile(HWND owner);

// The status window's services with the real process probe and shell, and the settings
// window opened modally on a double-click on its title. As soon as the window begins to close
// the strip withdraws from `instance` (if it has one), so that a start meanwhile waits for
// this process to end instead of handing over to a strip that is going; when it has gone, the
// program ends.
StatusWindow::Services ProgramServices(const SettingsStore& store, SingleInstance* instance);

// The strip, and its icon in the notification area while the user wants one. Only here do
// they know of each other.
class ProgramFaces {
public:
    // The notification area as the icon reaches it, asked for only when an icon is wanted
    // (the system's loads shell32).
    using ShellSource = std::function<NotificationIcon::Shell()>;

    // Null if the strip could not be made. The icon reaches the notification area through
    // `shell`, the system's where none is given.
    static std::unique_ptr<ProgramFaces> Create(const SettingsStore& store, SingleInstance* instance,
                                                ShellSource shell = {});
    ProgramFaces(const ProgramFaces&) = delete;
    ProgramFaces& operator=(const ProgramFaces&) = delete;

    HWND Strip() const noexcept { return strip_->hwnd(); }
    // Shows the strip, unless the user has hidden it and the icon stands for it.
    void Show();

private:
    ProgramFaces(const SettingsStore& store, ShellSource shell) : store_(store), shell_(std::move(shell)) {}
    bool IconShown() const noexcept { return icon_ && icon_->Shown(); }
    // Stores the user's choice, and adds or takes out the icon.
    void ShowIcon(bool shown);
    void AddIcon();
    // Opens the tracker's history, or brings it forward.
    void OpenHistory();

    const SettingsStore& store_;
    ShellSource shell_;
    Form::Ptr<StatusWindow> strip_;
    std::unique_ptr<NotificationIcon> icon_;  // goes before the strip, whose model it observes
    std::shared_ptr<TrackerRecord> record_;   // the strip's model writes to it
    Form::Ptr<HistoryWindow> history_;        // goes before the record it reads
};

}  // namespace kvztl
