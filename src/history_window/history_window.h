// KV_ZTL_HISTORY: the tracker's record at a glance. A bar a day for the last 30 days and a bar
// an hour for the last 24 hours (green up, red down, grey unknown, in proportion); uptime,
// time watched, unasked stops and the longest run over 24 hours, 7 days, 30 days and the
// whole record; and every period of the record, newest first, to copy, export as CSV or read.
// It follows the record while it is open, and once a minute besides. Resizable; keeps its place.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "record/tracker_record.h"
#include "store/settings_store.h"

namespace kvztl {

class HistoryWindow final : public Form, private RecordListener {
public:
    static constexpr const wchar_t* kClassName = L"KV_ZTL_HISTORY";

    // Control identifiers, named after the controls, in tab order. CLOSE_BUTTON is IDCANCEL:
    // Esc closes the window.
    enum Control : int {
        CLOSE_BUTTON = IDCANCEL,
        DAYS_CAPTION = 301,
        DAYS_CHART,
        HOURS_CAPTION,
        HOURS_CHART,
        FIGURES_CAPTION,
        FIGURES_LISTVIEW,
        PERIODS_CAPTION,
        PERIODS_LISTVIEW,
        KEEP_RECORD_TICKBOX,
        RECORD_NOTE_LABEL,
        COPY_BUTTON,
        EXPORT_BUTTON,
        OPEN_FOLDER_BUTTON,
        CLEAR_RECORD_BUTTON,
    };
    enum Timer : UINT_PTR { REFRESH_TIMER = 1 };

    struct Host {
        const SettingsStore& store;
        TrackerRecord& record;
        std::function<void(const std::wstring& folder)> openFolder;  // in the file browser
        // Where to save the list as CSV; nothing when the user cancelled.
        std::function<std::optional<std::wstring>(HWND owner)> chooseExportFile;
    };

    // Creates and loads the window (hidden); null if the system refused.
    static Ptr<HistoryWindow> Create(Host host);

    // Reads the record again and shows it as of now.
    void Refresh();

private:
    explicit HistoryWindow(Host host) : host_(std::move(host)) {}

    void OnCommand(int id, int code) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroyed() override;
    // The controls' places at the new scale (the window's size may not have changed).
    void OnScaleChanged() override { Layout(); }
    std::optional<LRESULT> OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void OnRecordChanged() override { Refresh(); }

    void Form_Load() override;
    void Form_Unload() override;
    void REFRESH_TIMER_Timer() { Refresh(); }
    void COPY_BUTTON_Click();
    void EXPORT_BUTTON_Click();
    void OPEN_FOLDER_BUTTON_Click();
    void CLEAR_RECORD_BUTTON_Click();
    void KEEP_RECORD_TICKBOX_Click();
    void CLOSE_BUTTON_Click();

    // Places the controls in the client area as it is now, at the window's DPI.
    void Layout();
    void SetColumns();
    void ShowFigures();
    void ShowBars();
    void ShowNote();
    // The text of one cell of the periods' list.
    std::wstring PeriodCell(size_t row, int column) const;
    std::optional<LRESULT> OnNotify(const NMHDR& header);

    Host host_;
    std::vector<Period> periods_;  // oldest first, as of now_
    Moment now_ = 0;
    TIME_ZONE_INFORMATION zone_{};
    UINT columnsDpi_ = 0;  // the DPI the lists' columns were sized for
};

}  // namespace kvztl
