// The configuration dialog and the splash window, played headless.
#include <gtest/gtest.h>

#include "ConfigDialog.h"
#include "Headless.h"

namespace korvel {
namespace {

using C = TConfigDialog;

class Configuration : public ::testing::Test {
 protected:
  std::shared_ptr<THeadlessPlatform> Script = std::make_shared<THeadlessPlatform>();
  TKorSettings Settings;
  std::vector<unsigned> HelpTopics;

  void SetUp() override { SetPlatform(Script); }
  void TearDown() override { EXPECT_FALSE(Script->Unanswered); }
  int Run(std::function<void(THeadlessDialog&)> play) {
    C dialog(TWindow{}, Settings, [this](void*, unsigned topic) { HelpTopics.push_back(topic); });
    Script->Drivers.push_back(std::move(play));
    return dialog.Execute();
  }
};

TEST_F(Configuration, OkTransfersEveryControlIntoTheRecord) {
  Settings.SetCaptionHeight(52);
  int code = Run([](THeadlessDialog& ui) {
    EXPECT_EQ(ui.GetText(C::IdCaptionHeight), "52");
    EXPECT_EQ(ui.TextLimit(C::IdCaptionHeight), 2u);
    ui.Click(C::IdEnableHotkey);
    ui.PressHotKey(C::IdHotKey, 0x0645);
    ui.Click(C::IdCopyChallenge);
    ui.Click(C::IdTopmost);
    ui.Type(C::IdCaptionHeight, "99");
    ui.Click(C::IdIconize);
    ui.Click(C::IdCopyToClipboard);
    ui.Press(kIdOk);
  });
  EXPECT_EQ(code, kIdOk);
  const TWinPassSettings& s = Settings.Settings;
  EXPECT_EQ(s.HotkeyEnabled, 1);
  EXPECT_EQ(s.HotkeyCode, 0x0645);
  EXPECT_EQ(s.CopyChallengeFromClipboard, 1);
  EXPECT_EQ(s.TopmostWindow, 1);
  EXPECT_STREQ(s.CaptionHeightText, "99");
  EXPECT_EQ(Settings.CaptionHeight, 99);
  EXPECT_EQ(s.IconizeAfterUse, 1);
  EXPECT_EQ(s.CopyToClipboard, 1);
}

TEST_F(Configuration, CancelLeavesEveryFieldAsItWas) {
  Settings.Settings = {1, 0x0341, 1, 0, "", 1, 0};
  Settings.SetCaptionHeight(40);
  const TKorSettings before = Settings;
  Run([](THeadlessDialog& ui) {
    EXPECT_EQ(ui.GetCheck(C::IdEnableHotkey), 1);
    EXPECT_EQ(ui.GetHotKey(C::IdHotKey), 0x0341);
    ui.Click(C::IdEnableHotkey);
    ui.Click(C::IdTopmost);
    ui.Type(C::IdCaptionHeight, "77");
    ui.Escape();
  });
  EXPECT_TRUE(Settings.Settings == before.Settings);
  EXPECT_EQ(Settings.CaptionHeight, 40);
}

TEST_F(Configuration, TheCaptionHeightMustLieFrom30To128) {
  Script->Answers = {};
  Run([&](THeadlessDialog& ui) {
    for (const char* refused : {"25", "", "0", "29"}) {
      ui.Type(C::IdCaptionHeight, refused);
      ui.Press(kIdOk);
      EXPECT_FALSE(ui.Ended()) << refused;
      EXPECT_EQ(ui.Focused(), C::IdCaptionHeight);  // back to the field to correct
    }
    ui.Type(C::IdCaptionHeight, "4x2");  // letters cannot be typed
    EXPECT_EQ(ui.GetText(C::IdCaptionHeight), "42");
    ui.Type(C::IdCaptionHeight, "30");
    ui.Press(kIdOk);
    EXPECT_TRUE(ui.Ended());
  });
  ASSERT_EQ(Script->Messages.size(), 4u);
  for (const auto& m : Script->Messages) {
    EXPECT_EQ(m.Text, "Value is not in the range 30 to 128.");
    EXPECT_EQ(m.Caption, "KOR Configuration");
    EXPECT_EQ(m.Flags, kMbOk | kMbIconExclamation);
  }
  EXPECT_EQ(Settings.CaptionHeight, 30);
}

// What a paste can bring past the digits-only field: letters, blanks, and
// numbers whose low bits lie in the range.
TEST(RangeValidator, OnlyWholeDigitTextsInTheRangePass) {
  const TRangeValidator range(30, 128);
  struct Case {
    const char* Text;
    bool Valid;
  } cases[] = {{"30", true},   {"128", true},  {"0042", true}, {"29", false},
               {"129", false}, {"42x", false}, {" 42", false}, {"18446744073709551646", false}};
  for (const Case& c : cases) EXPECT_EQ(range.IsValid(c.Text), c.Valid) << c.Text;
}

TEST_F(Configuration, AStoredHeightOf100OrMoreIsRefusedUnchanged) {
  Settings.SetCaptionHeight(120);
  Run([](THeadlessDialog& ui) {
    EXPECT_EQ(ui.GetText(C::IdCaptionHeight), "12");
    ui.Press(kIdOk);
    EXPECT_FALSE(ui.Ended());
    ui.Escape();
  });
  EXPECT_EQ(Settings.CaptionHeight, 120);
}

TEST_F(Configuration, EnableHotkeyGovernsTheHotKeyAndPasteControls) {
  Settings.Settings.CopyChallengeFromClipboard = 1;
  Run([](THeadlessDialog& ui) {
    EXPECT_FALSE(ui.IsEnabled(C::IdHotKey));
    EXPECT_FALSE(ui.IsEnabled(C::IdCopyChallenge));
    ui.Click(C::IdEnableHotkey);
    EXPECT_TRUE(ui.IsEnabled(C::IdHotKey));
    EXPECT_TRUE(ui.IsEnabled(C::IdCopyChallenge));
    ui.Click(C::IdEnableHotkey);
    EXPECT_FALSE(ui.IsEnabled(C::IdHotKey));
    EXPECT_EQ(ui.GetCheck(C::IdCopyChallenge), 1);  // disabled, not cleared
    ui.Press(kIdOk);
  });
  EXPECT_EQ(Settings.Settings.CopyChallengeFromClipboard, 1);  // transferred while disabled
  EXPECT_EQ(Settings.Settings.HotkeyEnabled, 0);
}

TEST_F(Configuration, HelpOpensTopic100AndTheDialogStaysOpen) {
  Run([](THeadlessDialog& ui) {
    ui.Press(C::IdHelp);
    EXPECT_FALSE(ui.Ended());
  });
  EXPECT_EQ(HelpTopics, std::vector<unsigned>{100});
}

// However the splash ends, the main window takes over first, once, while
// the splash is still open (and so still the active window).
TEST(Splash, ClosesAtItsFirstTickOrAtOnceOnEscOrEnterAndHandsOverFirst) {
  auto script = std::make_shared<THeadlessPlatform>();
  SetPlatform(script);
  const std::function<void(THeadlessDialog&)> ways[] = {
      [](THeadlessDialog& ui) {
        EXPECT_TRUE(ui.TimerRunning(1));
        EXPECT_EQ(ui.TimerInterval(1), 5000u);
        EXPECT_TRUE(ui.Centered());
        ui.Tick(1);
        EXPECT_TRUE(ui.Ended());
        EXPECT_FALSE(ui.TimerRunning(1));
      },
      [](THeadlessDialog& ui) { ui.Escape(); },
      [](THeadlessDialog& ui) { ui.Press(kIdOk); },
  };
  for (const auto& way : ways) {
    THeadlessDialog* shown = nullptr;
    std::vector<bool> handOvers;  // whether the splash had ended, at each
    script->Drivers.push_back([&](THeadlessDialog& ui) {
      shown = &ui;
      way(ui);
    });
    TSplashDialog splash(TWindow{}, [&] { handOvers.push_back(shown->Ended()); });
    splash.Execute();
    EXPECT_EQ(handOvers, std::vector<bool>{false});
  }
  EXPECT_TRUE(script->Drivers.empty());
  EXPECT_FALSE(script->Unanswered);
}

}  // namespace
}  // namespace korvel
