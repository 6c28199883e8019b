#include "history_window/history_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "history_window/bar_chart.h"
#include "platform/placement.h"
#include "platform/system_message.h"
#include "platform/tooltip.h"
#include "platform/window.h"
#include "record/calendar.h"
#include "store/window_place.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using H = HistoryWindow;

constexpr UINT kRefreshMilliseconds = 60'000;
constexpr ULONG kRefreshTolerance = 5'000;
constexpr int kDays = 30;

// Design sizes in twips, laid out at the window's DPI whatever its size.
constexpr double kMargin = 120;
constexpr double kGap = 90;
constexpr double kCaptionHeight = 255;
constexpr double kButtonHeight = 375;
constexpr double kTickHeight = 300;
constexpr double kMinWidth = 8400;
constexpr double kMinHeight = 7200;

// A caption that names the control after it, whose mnemonic moves the focus there.
constexpr ControlSpec Caption(int id, const wchar_t* text) { return {id, L"Static", text, SS_LEFT, 0, {}, {}, {}, {}}; }

// One line of text, cut with an ellipsis where it does not fit.
constexpr ControlSpec Note(int id) {
    return {id, L"Static", L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, 0, {}, {}, {}, {}};
}

// A list in columns; `owned`: the list asks for the text of the rows it shows.
constexpr ControlSpec ListView(int id, bool owned = false) {
    const DWORD style = LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | WS_TABSTOP | WS_BORDER;
    return {id, WC_LISTVIEWW, L"", style | (owned ? LVS_OWNERDATA : 0), 0, {}, {}, {}, {}};
}

constexpr ControlSpec Chart(int id, const wchar_t* name) { return {id, kBarChartClass, name, 0, 0, {}, {}, {}, {}}; }

// In tab order, which is the order of creation; the places come from Layout.
const ControlSpec kControls[] = {
    Caption(H::DAYS_CAPTION, L"Last 30 days (green: up, red: down, grey: unknown)"),
    Chart(H::DAYS_CHART, L"Last 30 days"),
    Caption(H::HOURS_CAPTION, L"Last 24 hours"),
    Chart(H::HOURS_CHART, L"Last 24 hours"),
    Caption(H::FIGURES_CAPTION, L"&Figures"),
    ListView(H::FIGURES_LISTVIEW),
    Caption(H::PERIODS_CAPTION, L"&Periods, newest first"),
    ListView(H::PERIODS_LISTVIEW, true),
    TickBox(H::KEEP_RECORD_TICKBOX, L"&Keep a record of the tracker", {}),
    Note(H::RECORD_NOTE_LABEL),
    Button(H::COPY_BUTTON, L"&Copy", {}),
    Button(H::EXPORT_BUTTON, L"&Export...", {}),
    Button(H::OPEN_FOLDER_BUTTON, L"&Open folder", {}),
    Button(H::CLEAR_RECORD_BUTTON, L"C&lear the record...", {}),
    Button(H::CLOSE_BUTTON, L"Close", {}),
};

struct Column {
    const wchar_t* title;
    double width;  // twips
};
constexpr Column kFigureColumns[] = {
    {L"Over", 1800}, {L"Uptime", 1200}, {L"Watched", 1200}, {L"Unasked stops", 1700}, {L"Longest run", 1700},
};
constexpr Column kPeriodColumns[] = {
    {L"Start", 1950}, {L"End", 1950}, {L"Duration", 1500}, {L"State", 1000}, {L"Cause", 2300}, {L"Exit code", 3600},
};

struct Range {
    const wchar_t* title;
    Moment length;  // 0: the whole record
};
constexpr Range kRanges[] = {
    {L"24 hours", kOneDay}, {L"7 days", 7 * kOneDay}, {L"30 days", 30 * kOneDay}, {L"The whole record", 0}};

// "99.2 %"; "-" where nothing was watched.
std::wstring Share(std::optional<double> share) {
    if (!share) return L"-";
    wchar_t text[32];
    std::swprintf(text, 32, L"%.1f %%", std::clamp(*share * 100, 0.0, 100.0));
    return text;
}

SYSTEMTIME SystemTimeOf(const CivilTime& time) {
    SYSTEMTIME system{};
    system.wYear = static_cast<WORD>(time.year);
    system.wMonth = static_cast<WORD>(time.month);
    system.wDay = static_cast<WORD>(time.day);
    system.wHour = static_cast<WORD>(time.hour);
    system.wMinute = static_cast<WORD>(time.minute);
    return system;
}

// A date in the user's language: "Tue 8 Dec" for `picture` "ddd d MMM".
std::wstring DateWords(const CivilTime& time, const wchar_t* picture) {
    const SYSTEMTIME system = SystemTimeOf(time);
    wchar_t text[64];
    return GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &system, picture, text, 64, nullptr) ? text : L"";
}

// "up 23 h 10 min, down 50 min": the parts that are not nothing.
std::wstring BarWords(const Bar& bar) {
    std::wstring words;
    const auto part = [&words](const wchar_t* name, Moment length) {
        if (length == 0) return;
        words += (words.empty() ? L"" : L", ") + std::wstring(name) + L" " + DurationText(0, length);
    };
    part(L"up", bar.up);
    part(L"down", bar.down);
    part(L"unknown", bar.unknown);
    return words.empty() ? L"nothing yet" : words;
}

void SetColumns(HWND list, std::span<const Column> columns, UINT dpi) {
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int existing = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].title);
        column.cx = TwipsToPixels(columns[i].width, dpi);
        column.iSubItem = static_cast<int>(i);
        const auto index = static_cast<WPARAM>(i);
        SendMessageW(list, static_cast<int>(i) < existing ? LVM_SETCOLUMNW : LVM_INSERTCOLUMNW, index,
                     reinterpret_cast<LPARAM>(&column));
    }
}

void SetCell(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool PutOnClipboard(HWND owner, const std::wstring& text) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return false;
    if (void* locked = GlobalLock(memory)) {
        std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(locked));
        GlobalUnlock(memory);
    }
    if (!OpenClipboard(owner)) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    CloseClipboard();
    if (!placed) GlobalFree(memory);  // the clipboard owns it once placed
    return placed;
}

// The CSV with the byte-order mark that tells spreadsheets it is UTF-8; the system's error
// code when it could not be written.
DWORD WriteCsv(const std::wstring& path, const std::string& csv) {
    const UniqueHandle file = AdoptFileHandle(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    const std::string content = "\xEF\xBB\xBF" + csv;
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size()) {
        return GetLastError();
    }
    return ERROR_SUCCESS;
}

}  // namespace

Form::Ptr<HistoryWindow> HistoryWindow::Create(Host host) {
    LoadCommonControls(ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES);
    RegisterBarChartClass();
    return Form::Create(new HistoryWindow(std::move(host)),
                        {kClassName, L"KV-ZTL - Tracker history", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                         WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, kControls},
                        nullptr);
}

void HistoryWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    switch (id) {
    case COPY_BUTTON:
        return COPY_BUTTON_Click();
    case EXPORT_BUTTON:
        return EXPORT_BUTTON_Click();
    case OPEN_FOLDER_BUTTON:
        return OPEN_FOLDER_BUTTON_Click();
    case CLEAR_RECORD_BUTTON:
        return CLEAR_RECORD_BUTTON_Click();
    case KEEP_RECORD_TICKBOX:
        return KEEP_RECORD_TICKBOX_Click();
    case CLOSE_BUTTON:
        return CLOSE_BUTTON_Click();
    }
}

void HistoryWindow::OnTimer(UINT_PTR id) {
    if (id == REFRESH_TIMER) REFRESH_TIMER_Timer();
}

void HistoryWindow::OnDestroyed() { host_.record.Forget(this); }

std::optional<LRESULT> HistoryWindow::OnMessage(UINT message, WPARAM /*wparam*/, LPARAM lparam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_GETMINMAXINFO: {
        auto& limits = *reinterpret_cast<MINMAXINFO*>(lparam);
        const UINT dpi = WindowDpi(hwnd());
        limits.ptMinTrackSize = {TwipsToPixels(kMinWidth, dpi), TwipsToPixels(kMinHeight, dpi)};
        return 0;
    }
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    }
    return std::nullopt;
}

void HistoryWindow::Form_Load() {
    AcceptDialogKeys();
    SetColumns();
    for (const int list : {FIGURES_LISTVIEW, PERIODS_LISTVIEW}) {
        const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
        SendMessageW(controls().Get(list), LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    }
    const HWND figures = controls().Get(FIGURES_LISTVIEW);
    for (int row = 0; row < static_cast<int>(std::size(kRanges)); ++row) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(kRanges[row].title);
        SendMessageW(figures, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    PlaceWindowTwips(hwnd(), LoadPlace(host_.store, settings::kHistoryPlacePrefix, settings::kHistoryPlaceDefault));
    Layout();
    host_.record.Listen(this);
    Refresh();
    SetCoalescableTimer(hwnd(), REFRESH_TIMER, kRefreshMilliseconds, nullptr, kRefreshTolerance);
}

void HistoryWindow::Form_Unload() { SavePlace(host_.store, settings::kHistoryPlacePrefix, WindowPlaceTwips(hwnd())); }

void HistoryWindow::SetColumns() {
    const UINT dpi = WindowDpi(hwnd());
    if (dpi == columnsDpi_) return;
    columnsDpi_ = dpi;
    kvztl::SetColumns(controls().Get(FIGURES_LISTVIEW), kFigureColumns, dpi);
    kvztl::SetColumns(controls().Get(PERIODS_LISTVIEW), kPeriodColumns, dpi);
}

void HistoryWindow::Layout() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    const UINT dpi = WindowDpi(hwnd());
    const auto px = [dpi](double twips) { return TwipsToPixels(twips, dpi); };
    const int margin = px(kMargin), gap = px(kGap), caption = px(kCaptionHeight);
    SetColumns();  // at a new DPI
    const int width = std::max(0, static_cast<int>(client.right) - 2 * margin);
    const auto place = [this](int id, int x, int y, int w, int h) {
        SetWindowPos(controls().Get(id), nullptr, x, y, std::max(0, w), std::max(0, h), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    // From the bottom: the buttons, the tick box and the note, then from the top the charts,
    // the figures, and the periods' list in what is left.
    const int buttonsTop = client.bottom - margin - px(kButtonHeight);
    int x = margin;
    for (const int id : {COPY_BUTTON, EXPORT_BUTTON, OPEN_FOLDER_BUTTON, CLEAR_RECORD_BUTTON}) {
        const int w = px(id == CLEAR_RECORD_BUTTON ? 2100 : id == OPEN_FOLDER_BUTTON ? 1500 : 1200);
        place(id, x, buttonsTop, w, px(kButtonHeight));
        x += w + gap;
    }
    place(CLOSE_BUTTON, client.right - margin - px(1200), buttonsTop, px(1200), px(kButtonHeight));
    const int tickTop = buttonsTop - gap - px(kTickHeight);
    place(KEEP_RECORD_TICKBOX, margin, tickTop, px(3300), px(kTickHeight));
    place(RECORD_NOTE_LABEL, margin + px(3300) + gap, tickTop, width - px(3300) - gap, px(kTickHeight));

    int y = margin;
    const int charts = std::max(px(1000), (tickTop - margin) / 6);
    for (const auto& [captionId, chartId] :
         {std::pair{DAYS_CAPTION, DAYS_CHART}, std::pair{HOURS_CAPTION, HOURS_CHART}}) {
        place(captionId, margin, y, width, caption);
        y += caption;
        place(chartId, margin, y, width, charts - caption);
        y += charts - caption + gap;
    }
    place(FIGURES_CAPTION, margin, y, width, caption);
    y += caption;
    // As high as its header and its rows.
    const HWND figuresList = controls().Get(FIGURES_LISTVIEW);
    RECT header{}, row{};
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(figuresList, LVM_GETHEADER, 0, 0)), &header);
    row.left = LVIR_BOUNDS;
    SendMessageW(figuresList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    const int figures = (header.bottom - header.top) + static_cast<int>(std::size(kRanges)) * (row.bottom - row.top) +
                        4 * GetSystemMetrics(SM_CYEDGE);
    place(FIGURES_LISTVIEW, margin, y, width, figures);
    y += figures + gap;
    place(PERIODS_CAPTION, margin, y, width, caption);
    y += caption;
    place(PERIODS_LISTVIEW, margin, y, width, tickTop - gap - y);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void HistoryWindow::Refresh() {
    now_ = Now();
    GetTimeZoneInformation(&zone_);
    periods_ = host_.record.Periods(now_);
    ShowFigures();
    ShowBars();
    const HWND list = controls().Get(PERIODS_LISTVIEW);
    SendMessageW(list, LVM_SETITEMCOUNT, periods_.size(), LVSICF_NOSCROLL);
    InvalidateRect(list, nullptr, FALSE);
    controls().SetChecked(KEEP_RECORD_TICKBOX, host_.record.On());
    ShowNote();
}

void HistoryWindow::ShowFigures() {
    const HWND list = controls().Get(FIGURES_LISTVIEW);
    const Moment first = periods_.empty() ? now_ : periods_.front().start;
    for (int row = 0; row < static_cast<int>(std::size(kRanges)); ++row) {
        const Moment length = kRanges[row].length;
        const Moment from = length == 0 ? first : (now_ > length ? now_ - length : 0);
        const Figures figures = FiguresOf(periods_, from, now_);
        SetCell(list, row, 1, Share(figures.uptimeShare));
        SetCell(list, row, 2, Share(now_ > from ? std::optional(figures.watchedShare) : std::nullopt));
        SetCell(list, row, 3, std::to_wstring(figures.unaskedStops));
        SetCell(list, row, 4, figures.longestRun ? DurationText(0, figures.longestRun) : L"-");
    }
}

void HistoryWindow::ShowBars() {
    const ZoneClock clock(zone_);
    std::vector<ChartBar> days;
    for (const Bar& bar : DayBars(periods_, now_, kDays, zone_)) {
        const CivilTime local = CivilOf(clock.Local(bar.start));
        days.push_back({bar, std::to_wstring(local.day), DateWords(local, L"ddd d MMM") + L": " + BarWords(bar)});
    }
    SetChartBars(controls().Get(DAYS_CHART), std::move(days));
    std::vector<ChartBar> hours;
    for (const Bar& bar : HourBars(periods_, now_, zone_)) {
        const CivilTime local = CivilOf(clock.Local(bar.start));
        wchar_t label[8], spoken[16];
        std::swprintf(label, 8, L"%02d", local.hour);
        std::swprintf(spoken, 16, L"%02d:%02d: ", local.hour, local.minute);
        hours.push_back({bar, label, spoken + BarWords(bar)});
    }
    SetChartBars(controls().Get(HOURS_CHART), std::move(hours));
}

void HistoryWindow::ShowNote() {
    std::wstring note;
    if (!host_.record.On()) note = L"Nothing is recorded while this is off. ";
    const Journal& journal = host_.record.journal();
    if (journal.Pending() > 0 && journal.Failure()) {
        note += std::to_wstring(journal.Pending()) + L" events wait in memory: " + journal.Failure()->path + L": " +
                SystemMessage(journal.Failure()->error) + L" ";
    }
    const JournalReading& reading = host_.record.Reading();
    if (reading.skipped > 0) {
        note += std::to_wstring(reading.skipped) + L" lines could not be read and were skipped";
        if (!reading.firstSkipped.empty()) {
            const SkippedLine& first = reading.firstSkipped.front();
            note += L", the first " + first.file + L" line " + std::to_wstring(first.line);
        }
        note += L".";
    }
    controls().SetText(RECORD_NOTE_LABEL, note);
}

std::wstring HistoryWindow::PeriodCell(size_t row, int column) const {
    if (row >= periods_.size()) return {};
    const Period& period = periods_[periods_.size() - 1 - row];
    const ZoneClock clock(zone_);
    switch (column) {
    case 0:
        return ClockTimeText(clock, period.start);
    case 1:
        return row == 0 && period.end >= now_ ? L"now" : ClockTimeText(clock, period.end);
    case 2:
        return DurationText(period.start, period.end);
    case 3:
        return std::wstring(StateText(period.state));
    case 4: {
        std::wstring cause(CauseText(period));
        if (const std::wstring_view words = host_.record.Words(period); !words.empty()) {
            cause += L"; " + std::wstring(words);
        }
        return cause;
    }
    case 5:
        return period.exitCode ? ExitCodeText(*period.exitCode) : std::wstring();
    }
    return {};
}

std::optional<LRESULT> HistoryWindow::OnNotify(const NMHDR& header) {
    if (header.idFrom != PERIODS_LISTVIEW || header.code != LVN_GETDISPINFOW) return std::nullopt;
    const auto& shown = reinterpret_cast<const NMLVDISPINFOW&>(header);
    LVITEMW& item = const_cast<NMLVDISPINFOW&>(shown).item;
    if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        const std::wstring text = PeriodCell(static_cast<size_t>(item.iItem), item.iSubItem);
        wcsncpy_s(item.pszText, static_cast<size_t>(item.cchTextMax), text.c_str(), _TRUNCATE);
    }
    return 0;
}

void HistoryWindow::COPY_BUTTON_Click() {
    if (!PutOnClipboard(hwnd(), PeriodsText(periods_, zone_))) {
        ShowError(L"The list could not be put on the clipboard: " + SystemMessage(GetLastError()));
    }
}

void HistoryWindow::EXPORT_BUTTON_Click() {
    const std::optional<std::wstring> path = host_.chooseExportFile ? host_.chooseExportFile(hwnd()) : std::nullopt;
    if (!path) return;
    if (const DWORD error = WriteCsv(*path, PeriodsCsv(periods_, zone_)); error != ERROR_SUCCESS) {
        ShowError(L"The list could not be saved to \"" + *path + L"\": " + SystemMessage(error));
    }
}

void HistoryWindow::OPEN_FOLDER_BUTTON_Click() {
    const std::wstring& folder = host_.record.journal().folder();
    CreateDirectoryW(folder.c_str(), nullptr);  // not there before the first event
    if (host_.openFolder) host_.openFolder(folder);
}

void HistoryWindow::CLEAR_RECORD_BUTTON_Click() {
    const std::wstring question = L"Delete the tracker's record, every month of it, from \"" +
                                  host_.record.journal().folder() +
                                  L"\"?\n\nWhat it says of the tracker cannot be brought back.";
    if (MessageBoxW(hwnd(), question.c_str(), L"Clear the record", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) !=
        IDYES) {
        return;
    }
    if (!host_.record.Clear()) {
        ShowError(L"Some of the record could not be deleted from \"" + host_.record.journal().folder() + L"\".");
    }
}

void HistoryWindow::KEEP_RECORD_TICKBOX_Click() { host_.record.SetOn(controls().Checked(KEEP_RECORD_TICKBOX)); }

void HistoryWindow::CLOSE_BUTTON_Click() { PostMessageW(hwnd(), WM_CLOSE, 0, 0); }

}  // namespace kvztl
