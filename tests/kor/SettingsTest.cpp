// KOR's settings in the store: defaults, reading rules and what is written.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "WinPassSettings.h"
#include "TestStores.h"

namespace korvel {
namespace {

using test::StoreKinds;
using test::TStoreKind;

class KorSettings : public ::testing::TestWithParam<TStoreKind> {
 protected:
  test::TStores Stores = GetParam().Make();

  TKorSettings Load() {
    TKorSettings settings;
    Stores.Settings->Load(settings);
    return settings;
  }
  void Save(const TKorSettings& settings) { EXPECT_TRUE(Stores.Settings->Save(settings)); }
  template <typename F>
  void Edit(F edit) {
    Stores.EditKey(kKorKeyPath, edit);
  }
};

TEST_P(KorSettings, FirstStartWritesAllElevenValuesWithTheirDefaults) {
  TKorSettings settings = Load();
  EXPECT_EQ(settings.CaptionHeight, 52);
  EXPECT_STREQ(settings.Settings.CaptionHeightText, "52");
  EXPECT_EQ(settings.HelpFile, "KOR.HLP");
  EXPECT_EQ(settings.EffectiveHotKey(), 0);
  Save(settings);
  TRegNode key = Stores.Key(kKorKeyPath);
  const TRegNode* hotkey = key.Find(kHotkeyKey);
  ASSERT_TRUE(hotkey);
  const std::pair<const char*, uint32_t> values[] = {{"MajorVersion", 3},
                                                     {"MinorVersion", 0},
                                                     {"Build", 1},
                                                     {"InstallationDate", 0},
                                                     {"CopyChallangeFromClipboard", 0},
                                                     {"TopmostWindow", 0},
                                                     {"CaptionHeight", 52},
                                                     {"IconizeAfterUse", 0},
                                                     {"CopyToClipboard", 0}};
  for (const auto& [name, value] : values) EXPECT_EQ(key.Dword(name), value) << name;
  EXPECT_EQ(hotkey->Dword("HotkeyActivation"), 0u);
  EXPECT_EQ(hotkey->Dword("HotkeyValue"), 0u);
  EXPECT_FALSE(key.Value("HelpFilename"));  // read, never written
}

TEST_P(KorSettings, StoredValuesComeBackAndKeepTheirLow16Bits) {
  TKorSettings settings;
  settings.Settings = {1, 0x0675, 1, 1, "", 1, 1};
  settings.SetCaptionHeight(77);
  settings.MajorVersion = 0x12345678;
  Save(settings);
  Edit([](TRegNode& key) {
    key.SetDword("IconizeAfterUse", 0x00010002);  // only the low 16 bits count
    key.SetText("HelpFilename", "C:\\HELP\\KOR.HLP");
  });
  TKorSettings loaded = Load();
  EXPECT_EQ(loaded.EffectiveHotKey(), 0x0675);
  EXPECT_EQ(loaded.Settings.CopyChallengeFromClipboard, 1);
  EXPECT_EQ(loaded.Settings.TopmostWindow, 1);
  EXPECT_STREQ(loaded.Settings.CaptionHeightText, "77");
  EXPECT_EQ(loaded.Settings.IconizeAfterUse, 2);
  EXPECT_EQ(loaded.Settings.CopyToClipboard, 1);
  EXPECT_EQ(loaded.MajorVersion, 0x12345678u);
  EXPECT_EQ(loaded.HelpFile, "C:\\HELP\\KOR.HLP");
  loaded.Settings.HotkeyEnabled = 0;
  EXPECT_EQ(loaded.EffectiveHotKey(), 0);
}

TEST_P(KorSettings, WithoutTheHotkeyKeyEverySettingIsDefaultButTheHelpFile) {
  TKorSettings settings;
  settings.Settings.TopmostWindow = 1;
  settings.MajorVersion = 9;
  Save(settings);
  Edit([](TRegNode& key) {
    key.Erase(kHotkeyKey);
    key.SetText("HelpFilename", "OTHER.HLP");
  });
  TKorSettings loaded = Load();
  EXPECT_EQ(loaded.Settings.TopmostWindow, 0);
  EXPECT_EQ(loaded.MajorVersion, 3u);
  EXPECT_EQ(loaded.HelpFile, "OTHER.HLP");
}

TEST_P(KorSettings, OddValuesFallBackToTheirDefaults) {
  TKorSettings settings;
  settings.Settings.TopmostWindow = 1;
  Save(settings);
  Edit([](TRegNode& key) {
    key.EraseValue("CaptionHeight");    // one value missing
    key.SetDword("HelpFilename", 5);    // a number, not a text
    key.SetText("TopmostWindow", "1");  // a text, not a number
  });
  TKorSettings loaded = Load();
  EXPECT_EQ(loaded.CaptionHeight, 52);
  EXPECT_EQ(loaded.HelpFile, "KOR.HLP");
  EXPECT_EQ(loaded.Settings.TopmostWindow, 0);
  Edit([](TRegNode& key) { key.SetText("HelpFilename", std::string(300, 'h')); });
  EXPECT_EQ(Load().HelpFile.size(), 259u);
}

TEST_P(KorSettings, ACaptionHeightOf100OrMoreIsKeptUntilAValidOneIsConfirmed) {
  Save(TKorSettings{});
  Edit([](TRegNode& key) { key.SetDword("CaptionHeight", 120); });
  TKorSettings loaded = Load();
  EXPECT_EQ(loaded.CaptionHeight, 120);
  EXPECT_STREQ(loaded.Settings.CaptionHeightText, "12");
  Save(loaded);
  EXPECT_EQ(Load().CaptionHeight, 120);
}

// The operator hears of the hot key only when assigning it went wrong, and
// can tell the three ways apart.
TEST(HotKey, OnlyAFailedAssignmentIsReportedEachFailureInWordsOfItsOwn) {
  for (long quiet : {1L, 3L}) EXPECT_EQ(HotKeyProblem(quiet), nullptr) << quiet;
  std::set<std::string> said;
  for (long failure : {2L, 0L, -1L}) {
    const char* problem = HotKeyProblem(failure);
    ASSERT_NE(problem, nullptr) << failure;
    std::string upper(problem);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(upper.find("HOTKEY"), std::string::npos) << problem;
    said.insert(problem);
  }
  EXPECT_EQ(said.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Backends, KorSettings, ::testing::ValuesIn(StoreKinds()),
                         [](const auto& info) { return info.param.Name; });

}  // namespace
}  // namespace korvel
