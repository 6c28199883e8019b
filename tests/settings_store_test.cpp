#include "store/settings_store.h"

#include <gtest/gtest.h>

#include "store/window_place.h"
#include "support/test_support.h"
#include "vocabulary.h"

namespace kvztl {
namespace {

using namespace settings;

class SettingsStoreTest : public ::testing::Test {
protected:
    std::optional<test::RawValue> Stored(const wchar_t* key) const { return test::ReadUserValue(test.subkey(), key); }
    void SaveExpandable(const wchar_t* key, const std::wstring& text) const {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, test.subkey().c_str(), key, REG_EXPAND_SZ, text.c_str(),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    test::TestStore test;
    const SettingsStore& store = test.store();
};

TEST_F(SettingsStoreTest, AnEmptyStoreHoldsNothingAndReadingCreatesNothing) {
    EXPECT_EQ(LoadPlace(store, kStatusPlacePrefix, kStatusPlaceDefault), kStatusPlaceDefault);
    EXPECT_EQ(LoadPlace(store, kSettingsPlacePrefix, kSettingsPlaceDefault), kSettingsPlaceDefault);
    EXPECT_EQ(store.Text(kTrackerFolder), std::nullopt);
    EXPECT_EQ(store.Number(kAlwaysOnTop), std::nullopt);

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, test.subkey().c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsStoreTest, PlacesAndTextsRoundTripAsRegSz) {
    const TwipsRect place{-1200, 34560, 2280.5, 690};
    SavePlace(store, kStatusPlacePrefix, place);
    EXPECT_EQ(LoadPlace(store, kStatusPlacePrefix, kStatusPlaceDefault), place);

    for (const std::wstring& text :
         {std::wstring(), std::wstring(kTrackerFolderDefault), std::wstring(L"C:\\Трекер\\日本\\ünïcode"),
          std::wstring(L"  spaced  "), std::wstring(5000, L'x')}) {
        ASSERT_TRUE(store.Save(kTrackerFolder, text));
        EXPECT_EQ(store.Text(kTrackerFolder), text);
    }

    // Stored as text, one REG_SZ value per key, in the number form earlier installations wrote.
    EXPECT_EQ(Stored(L"MainLeft"), (test::RawValue{REG_SZ, L"-1200"}));
}

TEST_F(SettingsStoreTest, ReadsPlacesWrittenByEarlierInstallations) {
    const struct {
        const wchar_t* key;
        const wchar_t* stored;
    } written[] = {{L"MainLeft", L"1500"}, {L"MainTop", L"-45"}, {L"MainWidth", L"2295.5"}, {L"MainHeight", L"705"}};
    for (const auto& value : written) ASSERT_TRUE(store.Save(value.key, value.stored));
    EXPECT_EQ(LoadPlace(store, kStatusPlacePrefix, kStatusPlaceDefault), (TwipsRect{1500, -45, 2295.5, 705}));
}

TEST_F(SettingsStoreTest, AValueStoredToExpandIsReadAndWrittenBackAsStored) {
    const std::wstring folder = L"%WINDIR%\\bnbt";
    SaveExpandable(kTrackerFolder, folder);
    EXPECT_EQ(store.Text(kTrackerFolder), folder);
    for (const std::wstring& text : {folder, std::wstring(L"%ProgramFiles%\\BNBT")}) {
        ASSERT_TRUE(store.Save(kTrackerFolder, text));
        EXPECT_EQ(Stored(kTrackerFolder), (test::RawValue{REG_EXPAND_SZ, text}));
    }
}

TEST(StoredNumbers, AreWrittenInTheirShortDecimalForm) {
    const struct {
        double value;
        const wchar_t* text;
    } cases[] = {{1000, L"1000"}, {1234.5, L"1234.5"}, {-15, L"-15"},           {0, L"0"},          {-0.0, L"0"},
                 {2280, L"2280"}, {0.1, L"0.1"},       {1.0 / 3, L"0.3333333"}, {491505, L"491505"}};
    for (const auto& c : cases) EXPECT_EQ(FormatNumber(c.value), c.text) << c.value;
}

TEST(StoredNumbers, ReadInThePointOrTheUsersDecimalSeparator) {
    const struct {
        const wchar_t* text;
        const wchar_t* separator;
        std::optional<double> value;
    } cases[] = {{L"1", L".", 1},       {L" 1 ", L".", 1},         {L"1.0", L".", 1},         {L"1E0", L".", 1},
                 {L"-0.5", L".", -0.5}, {L"1234,5", L",", 1234.5}, {L"1234.5", L",", 1234.5}, {L"-0,25", L",", -0.25},
                 {L"12'5", L"'", 12.5}, {L"1234,5", L".", {}},     {L"1.234,5", L",", {}},    {L"1,2,3", L",", {}}};
    for (const auto& c : cases) EXPECT_EQ(ParseNumber(c.text, c.separator), c.value) << c.text;
}

TEST_F(SettingsStoreTest, PlacesThatAreNotUsableNumbersGiveTheirDefaults) {
    for (const wchar_t* bad :
         {L"", L"   ", L"abc", L"12abc", L"1e39", L"-1e39", L"NaN", L"inf", L"0x10", L"1,5", L"--1", L"1e7", L"-1e7"}) {
        for (const wchar_t* key : {L"MainLeft", L"MainTop", L"MainWidth", L"MainHeight"})
            ASSERT_TRUE(store.Save(key, bad));
        EXPECT_EQ(LoadPlace(store, kStatusPlacePrefix, kStatusPlaceDefault), kStatusPlaceDefault)
            << "stored: \"" << bad << '"';
    }
    // No window is 0 or less wide or high.
    for (const wchar_t* size : {L"-300", L"0"}) {
        ASSERT_TRUE(store.Save(L"MainWidth", size));
        ASSERT_TRUE(store.Save(L"MainHeight", size));
        EXPECT_EQ(LoadPlace(store, kStatusPlacePrefix, kStatusPlaceDefault), kStatusPlaceDefault) << size;
    }
    ASSERT_TRUE(store.Save(kAlwaysOnTop, L"yes"));
    EXPECT_EQ(store.Number(kAlwaysOnTop), std::nullopt);
}

}  // namespace
}  // namespace kvztl
