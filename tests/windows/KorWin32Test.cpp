// KOR.EXE as a real process under Wine, with its settings and the client
// passwords in the prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "Digest.h"
#include "WinPassSettings.h"
#include "ZORVAModule.h"
#include "RegStores.h"
#include "ChildProcess.h"
#include "Records.h"
#include "TestStores.h"
#include "WinDialogSupport.h"

namespace korvel {
namespace {

using namespace korvel::test;

constexpr char kTitle[] = "Korvel for Win32 3.0";

class Kor : public ::testing::Test {
 protected:
  std::shared_ptr<TRegStore> Store = MakeWin32RegStore();

  void SetUp() override { ClearCalvek(*Store); }

  std::unique_ptr<TChildProcess> Start(const std::string& args = "-q") {
    std::vector<std::string> argv{ProgramDir() + "\\KOR.EXE"};
    if (!args.empty()) argv.push_back(args);
    return std::make_unique<TChildProcess>(argv);
  }
  HWND WaitMain() {
    for (int i = 0; i < 500; ++i) {
      if (HWND w = FindWindowA("KorvelMakePassFrame", kTitle); w && IsWindowVisible(w)) {
        Sleep(100);
        return w;
      }
      Sleep(20);
    }
    return nullptr;
  }
  // A control's text, asked of the control itself (it lives in another process).
  static std::string Text(HWND control) {
    char text[300] = "";
    SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
  }
  static HWND Combo(HWND main) { return FindWindowExA(main, nullptr, "ComboBox", nullptr); }
  static HWND Edit(HWND main) { return FindWindowExA(Combo(main), nullptr, "Edit", nullptr); }
  void Type(HWND main, const std::string& text) {
    SendMessageA(Edit(main), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Key(HWND main, char c) { PostMessageA(Edit(main), WM_CHAR, static_cast<unsigned char>(c), 1); }
  void StoreClientPassword(const char* prompt, const char* password, int type) {
    TZORVAModule module(Store);
    Append(*module.ClientPasswords, Record("tag", prompt, password, type));
    ASSERT_EQ(module.SaveClientPasswords(), -1);
  }
  void StoreSettings(const TKorSettings& settings) {
    auto session = Store->Begin(TRegAccess::Write);
    ASSERT_TRUE(SaveKorSettings(session->LocalMachine(), settings));
  }
  bool KorKeyExists() {
    auto session = Store->Begin(TRegAccess::Read);
    return session->LocalMachine().Open(kKorKeyPath) != nullptr;
  }
  static std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "<closed>";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
      if (const char* p = static_cast<const char*>(GlobalLock(data))) {
        text = p;
        GlobalUnlock(data);
      }
    }
    CloseClipboard();
    return text;
  }
  static void EmptyTheClipboard() {
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
  }
};

TEST_F(Kor, FirstStartShowsTheBarAndStoresTheDefaultsWhenXEndsIt) {
  auto kor = Start();  // -q: no splash
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  EXPECT_EQ(FindWindowA("#32770", ""), nullptr);
  LONG style = GetWindowLongA(main, GWL_STYLE);
  EXPECT_EQ(style & ~(WS_VISIBLE | WS_CLIPSIBLINGS), static_cast<LONG>(0x808A0000));
  EXPECT_FALSE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT r;
  GetWindowRect(main, &r);
  EXPECT_EQ(r.right - r.left, 300);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 300) / 2);
  RECT combo;
  GetWindowRect(Combo(main), &combo);
  EXPECT_EQ(r.bottom - r.top, (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION) * 52 / 100);
  // The window-menu command "Password Setup..." opens the library's dialog.
  PostMessageA(main, WM_SYSCOMMAND, 102, 0);
  HWND setup = WaitForDialog("Client Passwords Setup");
  ASSERT_TRUE(setup);
  Click(setup, 1110);  // Done
  WaitGone(setup);
  PostMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);  // ignored
  Sleep(200);
  GetWindowRect(main, &combo);
  EXPECT_EQ(combo.right - combo.left, 300);

  Key(main, 'x');  // ends the program; the character never reaches the input
  EXPECT_EQ(kor->Wait(), 0);
  auto session = Store->Begin(TRegAccess::Read);
  auto key = session->LocalMachine().Open(kKorKeyPath);
  ASSERT_TRUE(key);
  EXPECT_EQ(QueryDword(*key, "MajorVersion"), 3u);
  EXPECT_EQ(QueryDword(*key, "CaptionHeight"), 52u);
  EXPECT_EQ(QueryDword(*key, "CopyToClipboard"), 0u);
  auto hotkey = key->Open(kHotkeyKey);
  ASSERT_TRUE(hotkey);
  EXPECT_EQ(QueryDword(*hotkey, "HotkeyActivation"), 0u);
}

TEST_F(Kor, EnterAnswersShowsCopiesFilesAndIconizes) {
  StoreClientPassword("BBS>", "secret", kMD5);
  TKorSettings settings;
  settings.Settings.CopyToClipboard = 1;
  settings.Settings.IconizeAfterUse = 1;
  StoreSettings(settings);
  EmptyTheClipboard();
  auto kor = Start("/Q");
  HWND main = WaitMain();
  ASSERT_TRUE(main);

  const std::string line = "BBS> Login <  x9q2  >";
  const std::string reply = TMD5Digest("x9q2secret").HexDigest();
  Type(main, line);
  Key(main, '\r');
  HWND result = WaitForDialog("Result");
  ASSERT_TRUE(result);
  EXPECT_EQ(StaticTexts(result), reply);
  EXPECT_EQ(ClipboardText(), "");  // copied only after the box was closed
  Click(result, IDOK);
  WaitGone(result);
  for (int i = 0; i < 100 && !IsIconic(main); ++i) Sleep(20);
  EXPECT_EQ(ClipboardText(), reply);
  EXPECT_EQ(Text(Edit(main)), "");
  EXPECT_EQ(SendMessageA(Combo(main), CB_GETCOUNT, 0, 0), 1);
  SendMessageA(Combo(main), CB_SETCURSEL, 0, 0);  // the history's first line, into the field
  EXPECT_EQ(Text(Edit(main)), line);
  EXPECT_TRUE(IsIconic(main));

  ShowWindow(main, SW_RESTORE);
  Type(main, "a line nobody asks");
  Key(main, '\r');
  HWND error = WaitForDialog("ERROR");
  ASSERT_TRUE(error);
  EXPECT_EQ(StaticTexts(error), "No password found!");
  Click(error, IDOK);
  WaitGone(error);
  for (int i = 0; i < 100 && !IsIconic(main); ++i) Sleep(20);
  EXPECT_TRUE(IsIconic(main));
  EXPECT_EQ(Text(Edit(main)), "a line nobody asks");
  EXPECT_EQ(SendMessageA(Combo(main), CB_GETCOUNT, 0, 0), 1);

  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

TEST_F(Kor, ASecondStartBringsTheFirstForwardAndTouchesNothing) {
  auto first = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  ShowWindow(main, SW_MINIMIZE);
  ClearCalvek(*Store);
  auto second = Start();
  EXPECT_EQ(second->Wait(), 0);
  EXPECT_FALSE(IsIconic(main));
  EXPECT_FALSE(KorKeyExists());
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(first->Wait(), 0);
  EXPECT_TRUE(KorKeyExists());  // the first copy stores its settings at its end
}

// A hot key that another window owns is reported once, before the window
// shows. Wine's WM_SETHOTKEY answers 0 for every window, so there the box
// says "invalid HWND"; the box, its caption and the program going on are the
// same for each answer.
TEST_F(Kor, AHotKeyThatCannotBeAssignedIsReportedOnce) {
  const WORD code = MAKEWORD('K', 2 | 4);  // control and alt
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "KorvelHotKeyOwner";
  RegisterClassA(&wc);
  HWND other = CreateWindowExA(0, wc.lpszClassName, "hot key owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
  LRESULT answer = SendMessageA(other, WM_SETHOTKEY, code, 0);
  const char* expected = HotKeyProblem(answer == 1 ? 2 : static_cast<long>(answer));
  ASSERT_TRUE(expected);
  TKorSettings settings;
  settings.Settings.HotkeyEnabled = 1;
  settings.Settings.HotkeyCode = code;
  StoreSettings(settings);
  auto kor = Start();
  HWND box = WaitForDialog("HOTKEY!");
  ASSERT_TRUE(box);
  EXPECT_EQ(StaticTexts(box), expected);
  Click(box, IDOK);
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  WaitGone(box);
  EXPECT_EQ(FindWindowA("#32770", "HOTKEY!"), nullptr);  // once, not tried again
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
  DestroyWindow(other);
}

TEST_F(Kor, WithoutAHotKeyNothingIsAssignedOrSaid) {
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  EXPECT_EQ(FindWindowA("#32770", "HOTKEY!"), nullptr);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

TEST_F(Kor, RestoringPastesTheClipboardWhenConfigured) {
  TKorSettings settings;
  settings.Settings.CopyChallengeFromClipboard = 1;
  settings.Settings.TopmostWindow = 1;
  settings.SetCaptionHeight(100);
  StoreSettings(settings);
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT window, combo;
  GetWindowRect(main, &window);
  GetWindowRect(Combo(main), &combo);
  EXPECT_EQ(window.bottom - window.top, (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION));

  Type(main, "typed before");
  const std::string copied = "DB0XYZ} 3 1 4\r\nmore of the line";
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, copied.size() + 1);
  std::memcpy(GlobalLock(block), copied.c_str(), copied.size() + 1);
  GlobalUnlock(block);
  SetClipboardData(CF_TEXT, block);
  CloseClipboard();
  ShowWindow(main, SW_MINIMIZE);
  SendMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(main));
  EXPECT_EQ(Text(Edit(main)), copied);  // the whole clipboard text

  EmptyTheClipboard();
  Type(main, "kept");
  ShowWindow(main, SW_MINIMIZE);
  SendMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(Text(Edit(main)), "kept");
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

// ---- the desktop dialogs ------------------------------------------------------

struct TWant {
  int Id;
  unsigned Class;
  std::string Text;
  int X, Y, W, H;
  unsigned Style;
};

void ExpectLayout(const TTemplate& t, const std::vector<TWant>& want) {
  ASSERT_EQ(t.Items.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i) + " '" + want[i].Text + "'");
    const TItem& got = t.Items[i];
    EXPECT_EQ(got.Id, want[i].Id);
    if (want[i].Class) {
      EXPECT_EQ(got.Class, want[i].Class);
    }
    EXPECT_EQ(got.Text, want[i].Text);
    EXPECT_EQ((std::vector<int>{got.X, got.Y, got.W, got.H}),
              (std::vector<int>{want[i].X, want[i].Y, want[i].W, want[i].H}));
    EXPECT_EQ(got.Style & want[i].Style, want[i].Style);
  }
}

TEST(KorResources, TheThreeDialogsHaveTheLayoutsOfTheirTables) {
  HMODULE kor = LoadLibraryExA((ProgramDir() + "\\KOR.EXE").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(kor);
  TTemplate config = ReadTemplate(kor, MAKEINTRESOURCEA(100));
  EXPECT_EQ(config.Title, "KOR Configuration");
  EXPECT_EQ(config.Font, "MS Sans Serif");
  EXPECT_EQ((std::vector<int>{config.X, config.Y, config.W, config.H}), (std::vector<int>{26, 26, 251, 218}));
  ExpectLayout(config, {
      {-1, 0x80, "&HotKey", 13, 12, 136, 72, BS_GROUPBOX},
      {107, 0x80, "&Enable Hotkey ", 24, 25, 67, 10, BS_AUTOCHECKBOX},
      {102, 0, "", 20, 44, 108, 16, WS_BORDER},
      {101, 0x80, "Copy Challen&ge from Clipboard", 21, 68, 111, 8, BS_AUTOCHECKBOX},
      {-1, 0x80, "KOR Main &Window Options", 13, 96, 137, 64, BS_GROUPBOX},
      {106, 0x80, "Act as &Topmost Window", 23, 110, 100, 13, BS_AUTOCHECKBOX},
      {-1, 0x82, "Window Caption &Height", 23, 128, 78, 11, 0},
      {105, 0x81, "", 104, 127, 19, 12, 0},
      {104, 0x80, "&Iconize after use", 23, 141, 100, 13, BS_AUTOCHECKBOX},
      {-1, 0x80, "KOR &Result Options", 13, 168, 136, 32, BS_GROUPBOX},
      {103, 0x80, "Copy to Cli&pboard", 21, 180, 73, 12, BS_AUTOCHECKBOX},
      {-1, 0x82, "", 173, 11, 1, 197, SS_ETCHEDFRAME},
      {1, 0x80, "&OK", 197, 17, 37, 15, BS_DEFPUSHBUTTON},
      {2, 0x80, "&Cancel", 197, 40, 37, 15, 0},
      {9, 0x80, "&Help", 198, 64, 37, 14, 0},
  });
  EXPECT_EQ(_stricmp(config.Items[2].ClassName.c_str(), "msctls_hotkey32"), 0);

  TTemplate about = ReadTemplate(kor, MAKEINTRESOURCEA(101));
  EXPECT_EQ(about.Title, "About Korvel");
  EXPECT_EQ((std::vector<int>{about.X, about.Y, about.W, about.H}), (std::vector<int>{54, 38, 286, 107}));
  ASSERT_EQ(about.Items.size(), 9u);
  EXPECT_EQ(about.Items[0].Id, 500);
  EXPECT_EQ(about.Items[0].Text, "#1500");
  EXPECT_EQ(about.Items[0].Style & (SS_BITMAP | WS_BORDER), static_cast<unsigned>(SS_BITMAP | WS_BORDER));
  EXPECT_EQ(about.Items[2].Text, "Korvel for Win32 (Intel)");
  EXPECT_EQ(about.Items[3].Text, "Version 3.0");
  EXPECT_EQ(about.Items[8].Id, IDOK);
  EXPECT_EQ((std::vector<int>{about.Items[8].X, about.Items[8].Y, about.Items[8].W, about.Items[8].H}),
            (std::vector<int>{231, 17, 44, 15}));

  TTemplate splash = ReadTemplate(kor, MAKEINTRESOURCEA(110));
  EXPECT_EQ(splash.Title, "");
  EXPECT_FALSE(splash.Style & WS_CAPTION & ~WS_BORDER);  // no caption bar
  EXPECT_EQ((std::vector<int>{splash.W, splash.H}), (std::vector<int>{144, 73}));
  ASSERT_EQ(splash.Items.size(), 4u);
  EXPECT_EQ(splash.Items[0].Text, "#1000");
  EXPECT_EQ(splash.Items[0].Style & SS_ICON, static_cast<unsigned>(SS_ICON));
  EXPECT_EQ(splash.Items[1].Text, "Version 3.0 for Win32 (Intel)");

  // The art: a 168 x 32 logo and a 100 x 100 picture.
  HICON logo = static_cast<HICON>(LoadImageA(kor, MAKEINTRESOURCEA(1000), IMAGE_ICON, 0, 0, 0));
  ASSERT_TRUE(logo);
  ICONINFO info{};
  GetIconInfo(logo, &info);
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, 168);
  HBITMAP picture = static_cast<HBITMAP>(LoadImageA(kor, MAKEINTRESOURCEA(1500), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_TRUE(picture);
  DIBSECTION dib{};
  GetObjectA(picture, sizeof dib, &dib);
  EXPECT_EQ(dib.dsBm.bmWidth, 100);
  EXPECT_EQ(dib.dsBmih.biBitCount, 8);
  FreeLibrary(kor);
}

TEST_F(Kor, ConfigureAndAboutOpenFromTheMenuAndANewHeightShapesTheNextStart) {
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  PostMessageA(main, WM_SYSCOMMAND, 103, 0);  // About...
  HWND about = WaitForDialog("About Korvel");
  ASSERT_TRUE(about);
  Click(about, IDOK);
  WaitGone(about);

  PostMessageA(main, WM_SYSCOMMAND, 100, 0);  // Configure...
  HWND config = WaitForDialog("KOR Configuration");
  ASSERT_TRUE(config);
  EXPECT_EQ(ItemText(config, 105), "52");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(config, 102)));
  SetItemText(config, 105, "25");
  Click(config, IDOK);
  HWND range = WaitForDialog("KOR Configuration", config);
  ASSERT_TRUE(range);
  EXPECT_EQ(StaticTexts(range), "Value is not in the range 30 to 128.");
  Click(range, IDOK);
  WaitGone(range);
  EXPECT_TRUE(IsWindowVisible(config));  // still open
  SetItemText(config, 105, "80");
  Click(config, IDOK);
  WaitGone(config);
  RECT before;
  GetWindowRect(main, &before);  // nothing changes on the running window
  EXPECT_EQ(before.bottom - before.top, [&] {
    RECT combo;
    GetWindowRect(Combo(main), &combo);
    return (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION) * 52 / 100;
  }());
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
  {
    auto session = Store->Begin(TRegAccess::Read);
    EXPECT_EQ(QueryDword(*session->LocalMachine().Open(kKorKeyPath), "CaptionHeight"), 80u);
  }
  auto again = Start();
  main = WaitMain();
  ASSERT_TRUE(main);
  RECT window, combo;
  GetWindowRect(main, &window);
  GetWindowRect(Combo(main), &combo);
  EXPECT_EQ(window.bottom - window.top, (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION) * 80 / 100);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(again->Wait(), 0);
}

HWND WaitForSplash() {
  for (int i = 0; i < 500; ++i) {
    HWND w = FindWindowA("#32770", "");
    if (w && IsWindowVisible(w)) return w;
    Sleep(10);
  }
  return nullptr;
}

TEST_F(Kor, TheSplashShowsFiveSecondsCentredBeforeTheWindow) {
  auto kor = Start("");
  HWND splash = WaitForSplash();
  ASSERT_TRUE(splash);
  DWORD shown = GetTickCount();
  EXPECT_EQ(FindWindowA("KorvelMakePassFrame", kTitle) && IsWindowVisible(FindWindowA("KorvelMakePassFrame", kTitle)), false);
  RECT r;
  GetWindowRect(splash, &r);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - (r.right - r.left) / 2);
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - (r.bottom - r.top) / 2);
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  DWORD elapsed = GetTickCount() - shown;
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 9000u);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);

  auto quick = Start("");
  splash = WaitForSplash();
  ASSERT_TRUE(splash);
  shown = GetTickCount();
  PostMessageA(splash, WM_COMMAND, IDCANCEL, 0);  // Esc
  main = WaitMain();
  ASSERT_TRUE(main);
  EXPECT_LT(GetTickCount() - shown, 3000u);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(quick->Wait(), 0);
}

}  // namespace
}  // namespace korvel
