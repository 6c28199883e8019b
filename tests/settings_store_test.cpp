#include "store/settings_store.h"

#include <gtest/gtest.h>

#include "store/window_place.h"
#include "support/test_support.h"

namespace kvztl {
namespace {

constexpr TwipsRect kStatusDefaults{1000, 1000, 2280, 690};

TEST(SettingsStore, EmptyStoreGivesEveryDefaultAndCreatesNothing) {
    test::TestStore test;
    const SettingsStore& store = test.store();
    EXPECT_EQ(LoadPlace(store, L"Main", kStatusDefaults), kStatusDefaults);
    EXPECT_EQ(LoadPlace(store, L"SETTINGSMain", {1000, 1000, 9360, 4785}), (TwipsRect{1000, 1000, 9360, 4785}));
    EXPECT_EQ(store.Text(L"BNBT_FOLDER_TEXTBOX", L"TYPE BNBT FOLDER LOCATION HERE"),
              L"TYPE BNBT FOLDER LOCATION HERE");
    EXPECT_EQ(store.Double(L"AlwaysOnTopTimer_TICKBOX", 0), 0.0);
    EXPECT_EQ(store.Integer(L"AlwaysOnTopTimer_TICKBOX", 0), 0);

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, test.subkey().c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST(SettingsStore, PlacesAndTextsRoundTripAsRegSz) {
    test::TestStore test;
    const SettingsStore& store = test.store();
    const TwipsRect place{-1200, 34560, 2280.5, 690};
    SavePlace(store, L"Main", place);
    EXPECT_EQ(LoadPlace(store, L"Main", kStatusDefaults), place);

    for (const std::wstring& text : std::vector<std::wstring>{L"", L"TYPE BNBT FOLDER LOCATION HERE", L"C:\\Трекер\\日本\\ünïcode",
                                    L"  spaced  ", std::wstring(5000, L'x')}) {
        ASSERT_TRUE(store.Save(L"BNBT_FOLDER_TEXTBOX", text));
        EXPECT_EQ(store.Text(L"BNBT_FOLDER_TEXTBOX", L"default"), text);
    }

    // Stored as text, one REG_SZ value per key, in the number form earlier installations wrote.
    wchar_t data[64];
    DWORD type = 0, bytes = sizeof(data);
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, test.subkey().c_str(), L"MainLeft", RRF_RT_ANY, &type, data, &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(data, L"-1200");
}

TEST(SettingsStore, ReadsValuesWrittenByEarlierInstallations) {
    test::TestStore test;
    const SettingsStore& store = test.store();
    const struct {
        const wchar_t* key;
        const wchar_t* stored;
    } written[] = {{L"MainLeft", L"1500"}, {L"MainTop", L"-45"}, {L"MainWidth", L"2295.5"}, {L"MainHeight", L"705"}};
    for (const auto& value : written) ASSERT_TRUE(store.Save(value.key, value.stored));
    EXPECT_EQ(LoadPlace(store, L"Main", kStatusDefaults), (TwipsRect{1500, -45, 2295.5, 705}));
}

TEST(SettingsStore, NumbersAreWrittenInTheirShortDecimalForm) {
    const struct {
        double value;
        const wchar_t* text;
    } cases[] = {{1000, L"1000"}, {1234.5, L"1234.5"}, {-15, L"-15"}, {0, L"0"}, {-0.0, L"0"},
                 {2280, L"2280"}, {0.1, L"0.1"}, {1.0 / 3, L"0.3333333"}, {491505, L"491505"}};
    for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(SettingsStore, StoredNumbersThatDoNotConvertYieldTheDefault) {
    test::TestStore test;
    const SettingsStore& store = test.store();
    for (const wchar_t* bad : {L"", L"   ", L"abc", L"12abc", L"1e39", L"-1e39", L"NaN", L"inf", L"0x10", L"1,5",
                               L"--1", L"1e7", L"-1e7"}) {
        for (const wchar_t* key : {L"MainLeft", L"MainTop", L"MainWidth", L"MainHeight"}) ASSERT_TRUE(store.Save(key, bad));
        EXPECT_EQ(LoadPlace(store, L"Main", kStatusDefaults), kStatusDefaults) << "stored: \"" << bad << '"';
    }
    // No window is 0 or less wide or high.
    for (const wchar_t* size : {L"-300", L"0"}) {
        ASSERT_TRUE(store.Save(L"MainWidth", size));
        ASSERT_TRUE(store.Save(L"MainHeight", size));
        EXPECT_EQ(LoadPlace(store, L"Main", kStatusDefaults), kStatusDefaults) << size;
    }

    ASSERT_TRUE(store.Save(L"AlwaysOnTopTimer_TICKBOX", L"yes"));
    EXPECT_EQ(store.Double(L"AlwaysOnTopTimer_TICKBOX", 0), 0.0);
    EXPECT_EQ(store.Integer(L"AlwaysOnTopTimer_TICKBOX", 0), 0);
    ASSERT_TRUE(store.Save(L"AlwaysOnTopTimer_TICKBOX", L"40000"));
    EXPECT_EQ(store.Integer(L"AlwaysOnTopTimer_TICKBOX", 0), 0);
}

TEST(SettingsStore, NumbersWrittenWithTheUsersDecimalSeparatorRead) {
    const struct {
        const wchar_t* text;
        const wchar_t* separator;
        std::optional<double> value;
    } cases[] = {{L"1234,5", L",", 1234.5}, {L"1234.5", L",", 1234.5}, {L"-0,25", L",", -0.25},
                 {L"1234,5", L".", std::nullopt}, {L"1.234,5", L",", std::nullopt}, {L"1,2,3", L",", std::nullopt},
                 {L"12'5", L"'", 12.5}};
    for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.text, c.separator), c.value) << c.text;
}

TEST(SettingsStore, AValueStoredToExpandIsReadAndWrittenBackAsStored) {
    test::TestStore test;
    const std::wstring folder = L"%WINDIR%\\bnbt";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, test.subkey().c_str(), L"BNBT_FOLDER_TEXTBOX", REG_EXPAND_SZ,
                              folder.c_str(), static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(test.store().Text(L"BNBT_FOLDER_TEXTBOX", L"default"), folder);
    for (const std::wstring& text : {folder, std::wstring(L"%ProgramFiles%\\BNBT")}) {
        ASSERT_TRUE(test.store().Save(L"BNBT_FOLDER_TEXTBOX", text));
        wchar_t stored[64];
        DWORD type = 0, bytes = sizeof(stored);
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, test.subkey().c_str(), L"BNBT_FOLDER_TEXTBOX",
                               RRF_RT_ANY | RRF_NOEXPAND, &type, stored, &bytes),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
        EXPECT_EQ(stored, text);
    }
}

TEST(SettingsStore, NumbersConvertLikeTheSettingsServiceReaders) {
    test::TestStore test;
    const SettingsStore& store = test.store();
    const struct {
        const wchar_t* stored;
        double asDouble;
        short asInteger;
    } cases[] = {{L"1", 1, 1}, {L" 1 ", 1, 1}, {L"1.0", 1, 1}, {L"0.5", 0.5, 0}, {L"1.5", 1.5, 2},
                 {L"2.5", 2.5, 2}, {L"-1", -1, -1}, {L"1E0", 1, 1}};
    for (const auto& c : cases) {
        ASSERT_TRUE(store.Save(L"Number", c.stored));
        EXPECT_EQ(store.Double(L"Number", 7), c.asDouble) << c.stored;
        EXPECT_EQ(store.Integer(L"Number", 7), c.asInteger) << c.stored;
    }
}

}  // namespace
}  // namespace kvztl
