// KOR.EXE as a real process under Wine, with its settings and the client
// passwords in the prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "CaptionFont.h"
#include "Digest.h"
#include "KorHelp.h"
#include "WinPassSettings.h"
#include "ZORVAModule.h"
#include "ChildProcess.h"
#include "Records.h"
#include "RunningCopy.h"
#include "ReplyFlow.h"
#include "TestStores.h"
#include "KorResources.h"
#include "WinDialogSupport.h"
#include "ZorvaResources.h"

namespace korvel {
namespace {

using namespace korvel::test;

constexpr char kTitle[] = "Korvel for Win32 3.0";

class Kor : public ::testing::Test {
 protected:
  std::shared_ptr<TRegistryStore> Store = std::make_shared<TRegistryStore>();

  void SetUp() override { ClearCalvek(); }

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
  void Key(HWND main, char c) {
    PostMessageA(Edit(main), WM_CHAR, static_cast<unsigned char>(c), 1);
  }
  void StoreClientPassword(const char* prompt, const char* password, int type) {
    TZORVAModule module(Store);
    Append(*module.ClientPasswords, Record("tag", prompt, password, type));
    ASSERT_EQ(module.SaveClientPasswords(), -1);
  }
  void StoreSettings(const TKorSettings& settings) { ASSERT_TRUE(Store->Save(settings)); }
  bool KorKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKorKeyPath, 0, KEY_READ | KEY_WOW64_32KEY, &key) !=
        ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }
  static TRegNode KorKey() { return RegistryStores(false).Key(kKorKeyPath); }
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

// Whether KOR's window is the foreground window with the keyboard focus in
// its input, so that what the operator types goes there.
bool TypingGoesToTheInput(HWND main) {
  GUITHREADINFO thread{};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &thread);
  return GetForegroundWindow() == main &&
         thread.hwndFocus == FindWindowExA(FindWindowExA(main, nullptr, "ComboBox", nullptr),
                                           nullptr, "Edit", nullptr);
}

// The same within five seconds: Wine on an X server without a window
// manager waits two seconds for the server when it hides a window with a
// caption (a message box), before it activates the next one.
bool TypingGoesToTheInputSoon(HWND main) {
  for (int i = 0; i < 250 && !TypingGoesToTheInput(main); ++i) Sleep(20);
  return TypingGoesToTheInput(main);
}

// A window of the test's, standing for the program the operator works in:
// the foreground window until KOR takes it. Its own thread answers the
// messages that Windows sends it as it loses the activation, as a program's
// does; a window nobody answers makes Wine wait seconds for it.
class TOtherProgram {
 public:
  TOtherProgram() {
    std::promise<HWND> made;
    Thread = std::thread([&made] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.lpszClassName = "KorvelOtherProgram";
      RegisterClassA(&wc);
      HWND window = CreateWindowExA(0, wc.lpszClassName, "the operator's program",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, nullptr, nullptr);
      made.set_value(window);
      MSG message;
      while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
      DestroyWindow(window);
    });
    Window = made.get_future().get();
    TakeTheForeground();
  }
  ~TOtherProgram() {
    PostMessageA(Window, WM_QUIT, 0, 0);
    Thread.join();
  }
  void TakeTheForeground() { SetForegroundWindow(Window); }

  HWND Window;

 private:
  std::thread Thread;
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
  EXPECT_EQ(r.bottom - r.top,
            (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION) * 52 / 100);
  // The window-menu command "Password Setup..." opens the library's dialog.
  PostMessageA(main, WM_SYSCOMMAND, IDM_PASSWORDSETUP, 0);
  HWND setup = WaitForDialog("Client Passwords Setup");
  ASSERT_TRUE(setup);
  Click(setup, IDC_SETUP_DONE);
  WaitGone(setup);
  PostMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);  // ignored
  Sleep(200);
  GetWindowRect(main, &combo);
  EXPECT_EQ(combo.right - combo.left, 300);

  Key(main, 'x');  // ends the program; the character never reaches the input
  EXPECT_EQ(kor->Wait(), 0);
  ASSERT_TRUE(KorKeyExists());
  const TRegNode key = KorKey();
  EXPECT_EQ(key.Dword("MajorVersion"), 3u);
  EXPECT_EQ(key.Dword("CaptionHeight"), 52u);
  EXPECT_EQ(key.Dword("CopyToClipboard"), 0u);
  ASSERT_TRUE(key.Find(kHotkeyKey));
  EXPECT_EQ(key.Find(kHotkeyKey)->Dword("HotkeyActivation"), 0u);
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

// Windows ends the session with KOR open, its normal life: the settings are
// saved then, since the process ends without the message loop's end.
TEST_F(Kor, EndingTheSessionSavesTheSettings) {
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  ClearCalvek();  // what the start read is gone; only a save brings it back
  SendMessageA(main, WM_ENDSESSION, FALSE, 0);  // the session goes on
  EXPECT_FALSE(KorKeyExists());
  SendMessageA(main, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(KorKeyExists());
  EXPECT_EQ(KorKey().Dword("CaptionHeight"), 52u);
  kor->Kill();
  kor->Wait();
}

// The operator starts KOR again to get at the running bar, minimized or
// behind the program they work in: it comes to the front with the focus in
// its input, and the second copy ends without touching the settings.
TEST_F(Kor, ASecondStartBringsTheFirstForwardAndTouchesNothing) {
  auto first = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  TOtherProgram other;
  for (bool minimized : {true, false}) {
    SCOPED_TRACE(minimized ? "minimized" : "behind another program");
    other.TakeTheForeground();
    if (minimized) ShowWindow(main, SW_MINIMIZE);
    ASSERT_NE(GetForegroundWindow(), main);
    ClearCalvek();
    auto second = Start();
    EXPECT_EQ(second->Wait(), 0);
    EXPECT_TRUE(TypingGoesToTheInputSoon(main));
    EXPECT_FALSE(IsIconic(main));
    EXPECT_FALSE(KorKeyExists());
  }
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(first->Wait(), 0);
  EXPECT_TRUE(KorKeyExists());  // the first copy stores its settings at its end
}

// The stand-in for AllowSetForegroundWindow: which process it was given, and
// whether the running copy's window was still minimized then (not yet asked
// forward).
HWND RunningWindow = nullptr;
std::vector<std::string> Allowed;
BOOL WINAPI RecordAllowed(DWORD process) {
  Allowed.push_back(std::to_string(process) + (IsIconic(RunningWindow) ? " first" : " late"));
  return TRUE;
}

// A second start hands the right to the foreground to the running copy's
// process (KOR's, not its own) before it asks the copy forward, and shows the
// window of a copy that does not answer (an older KOR) itself.
TEST_F(Kor, ASecondStartHandsTheRunningCopyTheForegroundFirst) {
  auto first = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "KorvelOlderKor";
  RegisterClassA(&wc);
  HWND older = CreateWindowExA(0, wc.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, 300, 40,
                               nullptr, nullptr, nullptr, nullptr);
  for (HWND running : {main, older}) {
    SCOPED_TRACE(running == main ? "KOR" : "an older KOR");
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    ShowWindow(running, SW_MINIMIZE);
    RunningWindow = running;
    Allowed.clear();
    BringRunningCopyForward(running, RecordAllowed);
    EXPECT_EQ(Allowed, std::vector<std::string>{std::to_string(process) + " first"});
    for (int i = 0; i < 100 && IsIconic(running); ++i) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(20);
    }
    EXPECT_FALSE(IsIconic(running));
  }
  DestroyWindow(older);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(first->Wait(), 0);
}

// A hot key that another window owns is reported once, over the window.
// Wine's WM_SETHOTKEY answers 0 for every window, so there the box says
// "invalid HWND"; the box, its caption and the program going on are the same
// for each answer.
TEST_F(Kor, AHotKeyThatCannotBeAssignedIsReportedOnce) {
  const WORD code = MAKEWORD('K', 2 | 4);  // control and alt
  TOtherProgram other;
  LRESULT answer = SendMessageA(other.Window, WM_SETHOTKEY, code, 0);
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
  HWND main = WaitMain();  // the box stands over the window
  ASSERT_TRUE(main);
  Click(box, IDOK);
  WaitGone(box);
  Sleep(200);
  HWND again = FindWindowA("#32770", "HOTKEY!");
  EXPECT_FALSE(again && IsWindowVisible(again));  // once, not tried again
  EXPECT_TRUE(TypingGoesToTheInputSoon(main));    // the box gave the window its activation back
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
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
  EXPECT_EQ(window.bottom - window.top,
            (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION));

  // The clipboard's text as another program put it there, as long as it
  // likes. (One without a terminating zero cannot come across here: Wine
  // writes a zero over its last byte when it is put on the clipboard.)
  const std::string line = "DB0XYZ} 3 1 4\r\nmore of the line";
  const std::string longLine(300, '7');
  const struct {
    std::string Block, Pasted;
  } cases[] = {
      {line + '\0', line},                                       // the whole clipboard text
      {line + '\0' + "after the zero", line},                    // up to the first zero
      {longLine, longLine.substr(0, TLineEdit::kBufferLength)},  // what the input reads
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Pasted);
    Type(main, "typed before");
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.Block.size());
    std::memcpy(GlobalLock(block), c.Block.data(), c.Block.size());
    GlobalUnlock(block);
    SetClipboardData(CF_TEXT, block);
    CloseClipboard();
    ShowWindow(main, SW_MINIMIZE);
    SendMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(main));
    EXPECT_EQ(Text(Edit(main)), c.Pasted);
  }

  EmptyTheClipboard();
  Type(main, "kept");
  ShowWindow(main, SW_MINIMIZE);
  SendMessageA(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(Text(Edit(main)), "kept");
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

// The DPI of the programs started while the object lives, as the operator
// sets 150 % or 200 %: Wine reads the prefix's LogPixels as a program
// starts. The test's own process keeps the DPI it started with.
class TLogPixels {
 public:
  explicit TLogPixels(DWORD dpi) {
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &Key, nullptr);
    DWORD size = sizeof Old;
    Had = RegQueryValueExA(Key, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&Old),
                           &size) == ERROR_SUCCESS;
    RegSetValueExA(Key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  }
  ~TLogPixels() {
    if (Had)
      RegSetValueExA(Key, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&Old),
                     sizeof Old);
    else
      RegDeleteValueA(Key, "LogPixels");
    RegCloseKey(Key);
  }

 private:
  HKEY Key = nullptr;
  DWORD Old = 0;
  bool Had = false;
};

// How wide the system's message font writes the text at a DPI, measured here.
int WidthInMessageFont(const std::string& text, int dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HDC screen = GetDC(nullptr);
  LOGFONTW font = metrics.lfMessageFont;  // at this process's DPI
  font.lfHeight = MulDiv(font.lfHeight, dpi, GetDeviceCaps(screen, LOGPIXELSY));
  HFONT made = CreateFontIndirectW(&font);
  HGDIOBJ old = SelectObject(screen, made);
  SIZE size{};
  GetTextExtentPoint32A(screen, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(screen, old);
  DeleteObject(made);
  ReleaseDC(nullptr, screen);
  return size.cx;
}

// At 150 % and 200 % the bar grows with the DPI (its caption and list with
// SM_CYCAPTION, as before), and the input writes in the system's message
// font at that DPI, not in the System font, which does not grow. Wine
// answers WM_GETFONT across processes with nothing, so the field's own
// positions of the characters typed into it tell the font.
TEST_F(Kor, TheBarGrowsWithTheDpiAndItsInputWritesInTheMessageFont) {
  const std::string typed = "BBS> Login <x9q2> WMiil 0123";
  for (const auto& [dpi, width] : {std::pair{96, 300}, {144, 450}, {192, 600}}) {
    SCOPED_TRACE(dpi);
    TLogPixels scaling(dpi);
    auto kor = Start();
    HWND main = WaitMain();
    ASSERT_TRUE(main);
    RECT window, combo;
    GetWindowRect(main, &window);
    GetWindowRect(Combo(main), &combo);
    EXPECT_NEAR(window.right - window.left, width, 2);
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, 2);
    EXPECT_EQ(combo.right - combo.left, window.right - window.left);  // the input spans the bar
    Type(main, typed);
    const auto x = [&](std::size_t index) {
      return static_cast<short>(LOWORD(SendMessageA(Edit(main), EM_POSFROMCHAR, index, 0)));
    };
    const int wanted = WidthInMessageFont(typed.substr(0, typed.size() - 1), dpi);
    EXPECT_NEAR(x(typed.size() - 1) - x(0), wanted, 2 + wanted / 30);
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kor->Wait(), 0);
  }
}

// ---- the desktop dialogs ------------------------------------------------------

TEST(KorResources, TheDialogsHoldTheirControlsInsideUnoverlappedInTabOrder) {
  HMODULE kor =
      LoadLibraryExA((ProgramDir() + "\\KOR.EXE").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(kor);
  const TWantDialog dialogs[] = {
      {MAKEINTRESOURCEA(IDD_CONFIG),
       "KOR Configuration",
       WS_CAPTION | WS_SYSMENU,
       {{IDC_CONFIG_ENABLEHOTKEY, TKind::CheckBox, "&Enable Hotkey "},
        {IDC_CONFIG_HOTKEY, TKind::HotKey, ""},
        {IDC_CONFIG_COPYCHALLENGE, TKind::CheckBox, "Copy Challen&ge from Clipboard"},
        {IDC_CONFIG_TOPMOST, TKind::CheckBox, "Act as &Topmost Window"},
        {IDC_CONFIG_CAPTIONHEIGHT, TKind::Edit, "", "Window Caption &Height"},
        {IDC_CONFIG_ICONIZE, TKind::CheckBox, "&Iconize after use"},
        {IDC_CONFIG_COPYTOCLIPBOARD, TKind::CheckBox, "Copy to Cli&pboard"},
        {IDOK, TKind::DefaultButton, "&OK"},
        {IDCANCEL, TKind::PushButton, "&Cancel"},
        {IDC_CONFIG_HELP, TKind::PushButton, "&Help"}},
       {IDC_CONFIG_ENABLEHOTKEY, IDC_CONFIG_HOTKEY, IDC_CONFIG_COPYCHALLENGE, IDC_CONFIG_TOPMOST,
        IDC_CONFIG_CAPTIONHEIGHT, IDC_CONFIG_ICONIZE, IDC_CONFIG_COPYTOCLIPBOARD, IDOK, IDCANCEL,
        IDC_CONFIG_HELP}},
      {MAKEINTRESOURCEA(IDD_ABOUT),
       "About Korvel",
       WS_CAPTION | WS_SYSMENU,
       {{IDC_ABOUT_PICTURE, TKind::Picture, "#" + std::to_string(IDB_ABOUT)},
        {IDC_STATIC, TKind::Label, "Korvel for Win32 (Intel)"},
        {IDC_STATIC, TKind::Label, "Version 3.0"},
        {IDOK, TKind::DefaultButton, "OK"}},
       {IDOK}},
      {MAKEINTRESOURCEA(IDD_SPLASH),
       "",
       WS_BORDER,  // no caption bar
       {{IDC_STATIC, TKind::Icon, "#" + std::to_string(IDI_LOGO)},
        {IDC_STATIC, TKind::Label, "Version 3.0 for Win32 (Intel)"}},
       {}},
  };
  for (const TWantDialog& want : dialogs) {
    SCOPED_TRACE(reinterpret_cast<uintptr_t>(want.Resource));
    EXPECT_EQ(DialogProblems(kor, want), std::vector<std::string>{});
  }
  FreeLibrary(kor);
}

TEST(KorResources, TheArtHasItsSizes) {
  HMODULE kor =
      LoadLibraryExA((ProgramDir() + "\\KOR.EXE").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(kor);
  // A 168 x 32 logo and a 100 x 100 picture of 256 colours.
  HICON logo = static_cast<HICON>(LoadImageA(kor, MAKEINTRESOURCEA(IDI_LOGO), IMAGE_ICON, 0, 0, 0));
  ASSERT_TRUE(logo);
  ICONINFO info{};
  GetIconInfo(logo, &info);
  BITMAP mask{};
  GetObjectA(info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, 168);
  HBITMAP picture = static_cast<HBITMAP>(
      LoadImageA(kor, MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_TRUE(picture);
  DIBSECTION dib{};
  GetObjectA(picture, sizeof dib, &dib);
  EXPECT_EQ(dib.dsBm.bmWidth, 100);
  EXPECT_EQ(dib.dsBmih.biBitCount, 8);
  FreeLibrary(kor);
}

// The size, bits per pixel and (for a bitmap) the alpha of the corner and the
// centre of one image of an icon resource: a PNG (RGBA when its colour type
// is 6) or a bitmap of colours and mask, bottom-up.
struct TIconImage {
  int Width = 0, Height = 0, Bits = 0, CornerAlpha = -1, CentreAlpha = -1;
};
TIconImage ReadIconImage(const BYTE* data, DWORD size) {
  const auto dword = [&](DWORD at, bool bigEndian) {
    DWORD v = 0;
    for (int i = 0; i < 4; ++i) v |= DWORD{data[at + i]} << (bigEndian ? 24 - 8 * i : 8 * i);
    return static_cast<int>(v);
  };
  if (size >= 26 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0)
    return {dword(16, true), dword(20, true), data[25] == 6 ? 4 * data[24] : 0};
  if (size < 40) return {};
  TIconImage image{dword(4, false), dword(8, false) / 2, data[14] | data[15] << 8};
  const auto alpha = [&](int x, int y) { return data[40 + 4 * (y * image.Width + x) + 3]; };
  if (image.Bits == 32 && image.Width > 0 &&
      size >= 40 + 4 * static_cast<DWORD>(image.Width * image.Height)) {
    image.CornerAlpha = alpha(0, 0);
    image.CentreAlpha = alpha(image.Width / 2, image.Height / 2);
  }
  return image;
}

// The programs' icon holds an image for each size Windows asks for from 100 %
// to 200 % and for Explorer's large views, in 32-bit colour with alpha: a
// transparent outside around an opaque picture.
TEST(KorResources, TheProgramsIconComesInSixSizesWithAlpha) {
  for (const char* program : {"KOR.EXE", "korvel.exe"}) {
    SCOPED_TRACE(program);
    HMODULE module =
        LoadLibraryExA((ProgramDir() + "\\" + program).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC group = FindResourceA(module, MAKEINTRESOURCEA(IDI_KOR), MAKEINTRESOURCEA(14));
    ASSERT_TRUE(group);
    // A count at byte 4, then entries of 14 bytes: width, height (0: 256), the
    // colour count, a reserved byte, planes, bits per pixel, size, the image's id.
    const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    std::vector<int> sizes;
    for (int i = 0; i < (directory[4] | directory[5] << 8); ++i) {
      const BYTE* entry = directory + 6 + 14 * i;
      const int size = entry[0] ? entry[0] : 256;
      SCOPED_TRACE(size);
      sizes.push_back(size);
      HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(entry[12] | entry[13] << 8),
                                  MAKEINTRESOURCEA(3));  // RT_ICON
      ASSERT_TRUE(found);
      const TIconImage image =
          ReadIconImage(static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
                        SizeofResource(module, found));
      EXPECT_EQ(entry[6] | entry[7] << 8, 32);
      EXPECT_EQ(std::vector<int>({image.Width, image.Height, image.Bits}),
                std::vector<int>({size, size, 32}));
      if (size < 256) {  // the bitmaps; the 256-pixel image is a PNG
        EXPECT_EQ(std::pair(image.CornerAlpha, image.CentreAlpha), std::pair(0, 255));
      }
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 20, 24, 32, 48, 256}));
    FreeLibrary(module);
  }
}

TEST_F(Kor, ConfigureAndAboutOpenFromTheMenuAndANewHeightShapesTheNextStart) {
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUT, 0);
  HWND about = WaitForDialog("About Korvel");
  ASSERT_TRUE(about);
  Click(about, IDOK);
  WaitGone(about);

  PostMessageA(main, WM_SYSCOMMAND, IDM_CONFIGURE, 0);
  HWND config = WaitForDialog("KOR Configuration");
  ASSERT_TRUE(config);
  EXPECT_EQ(ItemText(config, IDC_CONFIG_CAPTIONHEIGHT), "52");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(config, IDC_CONFIG_HOTKEY)));
  SetItemText(config, IDC_CONFIG_CAPTIONHEIGHT, "25");
  Click(config, IDOK);
  HWND range = WaitForDialog("KOR Configuration", config);
  ASSERT_TRUE(range);
  EXPECT_EQ(StaticTexts(range), "Value is not in the range 30 to 128.");
  Click(range, IDOK);
  WaitGone(range);
  EXPECT_TRUE(IsWindowVisible(config));  // still open
  SetItemText(config, IDC_CONFIG_CAPTIONHEIGHT, "80");
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
  EXPECT_EQ(KorKey().Dword("CaptionHeight"), 80u);
  auto again = Start();
  main = WaitMain();
  ASSERT_TRUE(main);
  RECT window, combo;
  GetWindowRect(main, &window);
  GetWindowRect(Combo(main), &combo);
  EXPECT_EQ(window.bottom - window.top,
            (combo.bottom - combo.top) + GetSystemMetrics(SM_CYCAPTION) * 80 / 100);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(again->Wait(), 0);
}

// The programs carry their manifest, and Windows' own reading of it (an
// activation context made from the resource) finds what it asks for.
TEST(KorResources, TheProgramsCarryTheirManifest) {
  for (const char* program : {"KOR.EXE", "korvel.exe"}) {
    SCOPED_TRACE(program);
    const std::string path = ProgramDir() + "\\" + program;
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_TRUE(found);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(module, found))),
                           SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* want :
         {"level=\"asInvoker\"", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
          "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
          "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "name=\"Microsoft.Windows.Common-Controls\" "
          "version=\"6.0.0.0\""})
      EXPECT_NE(text.find(want), std::string::npos) << want;

    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << GetLastError();  // a manifest Windows can read
    wchar_t dpi[32] = L"";
    SIZE_T length = 0;
    EXPECT_TRUE(QueryActCtxSettingsW(0, context,
                                     L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                     L"dpiAwareness", dpi, 32, &length));
    EXPECT_STREQ(dpi, L"system");
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                             sizeof level, nullptr));
    EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    // The elements' layout differs between SDKs: the GUID is looked for as bytes.
    char compatibility[512] = {};
    EXPECT_TRUE(QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                             compatibility, sizeof compatibility, nullptr));
    const GUID windows10{
        0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};
    const std::string_view bytes(compatibility, sizeof compatibility);
    EXPECT_NE(
        bytes.find(std::string_view(reinterpret_cast<const char*>(&windows10), sizeof windows10)),
        std::string_view::npos);
    ReleaseActCtx(context);
  }
}

// The caption's title is drawn at the caption's height in a scalable face:
// the characters GDI makes are that high, bold.
TEST(KorCaption, TheTitleFontIsScalableAtTheCaptionsHeight) {
  for (int pixels : {6, 8, 10, 13, 25}) {  // caption heights of 30 to 128 percent
    SCOPED_TRACE(pixels);
    const LOGFONTA font = CaptionLogFont(pixels);
    EXPECT_TRUE(IsScalable(font)) << font.lfFaceName;
    HDC dc = GetDC(nullptr);
    HFONT made = CreateFontIndirectA(&font);
    HGDIOBJ old = SelectObject(dc, made);
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
    SelectObject(dc, old);
    DeleteObject(made);
    ReleaseDC(nullptr, dc);
    // GDI rounds a scaled face's em height to the pixel either way; a bitmap
    // face stays at its smallest size, pixels taller.
    EXPECT_LE(std::abs(metrics.tmHeight - metrics.tmInternalLeading - pixels), 1)
        << font.lfFaceName;
    EXPECT_GE(metrics.tmWeight, FW_BOLD);
  }
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Every help page KOR opens ships beside KOR.EXE, and a topic's page leads to
// its section of kor.html.
TEST(KorHelpPages, EveryTopicsPageIsBesideKorAndReachesItsSection) {
  const std::string help = FileText(ProgramDir() + "\\kor.html");
  ASSERT_NE(help.find("<h1>KOR Help</h1>"), std::string::npos);
  for (unsigned topic : {kHelpContents, kHelpConfigure, kHelpPasswordSetup, kHelpAbout}) {
    SCOPED_TRACE(topic);
    const std::string name = HelpPage(topic);
    const std::string page = FileText(ProgramDir() + "\\" + name);
    ASSERT_FALSE(page.empty()) << name;
    if (topic == kHelpContents) continue;
    const std::string anchor = "topic-" + std::to_string(topic);
    EXPECT_NE(page.find("url=kor.html#" + anchor + "\""), std::string::npos);
    EXPECT_NE(help.find("id=\"" + anchor + "\""), std::string::npos);
  }
}

// Opening an .html file runs a command of the test's instead of a browser:
// it writes the file's name into a file of its own, in UTF-16 (cmd /u), so
// that a name in any letters comes across whole.
class OpenedPages {
 public:
  OpenedPages() {
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    Record = std::string(temp) + "korvel-opened-page.txt";
    DeleteFileA(Record.c_str());
    char old[256] = "";
    LONG size = sizeof old;
    HadType = RegQueryValueA(HKEY_CLASSES_ROOT, ".html", old, &size) == ERROR_SUCCESS;
    OldType = old;
    Set(".html", kClass);
    Set(std::string(kClass) + "\\shell\\open\\command", "cmd.exe /u /c echo %1>\"" + Record + "\"");
  }
  ~OpenedPages() {
    if (HadType)
      Set(".html", OldType);
    else
      RegDeleteKeyA(HKEY_CLASSES_ROOT, ".html");
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kClass);
    DeleteFileA(Record.c_str());
  }
  // The page opened since the last call, waiting up to ten seconds.
  std::wstring Next() {
    for (int i = 0; i < 500; ++i) {
      const std::string bytes = FileText(Record);
      std::wstring text(bytes.size() / 2, L'\0');
      std::memcpy(text.data(), bytes.data(), text.size() * 2);
      if (!text.empty() && text.back() == L'\n') {
        DeleteFileA(Record.c_str());
        return text.substr(0, text.find_last_not_of(L" \r\n") + 1);
      }
      Sleep(20);
    }
    return L"<nothing opened>";
  }

 private:
  static constexpr char kClass[] = "KorvelTestPage";
  static void Set(const std::string& key, const std::string& value) {
    RegSetValueA(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, value.c_str(),
                 static_cast<DWORD>(value.size()));
  }
  bool HadType = false;
  std::string OldType, Record;
};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Help opens the contents page, the configuration dialog's Help its topic's
// page.
TEST_F(Kor, HelpOpensTheHtmlPagesBesideKor) {
  OpenedPages opened;
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  PostMessageA(main, WM_SYSCOMMAND, IDM_HELP, 0);
  EXPECT_EQ(opened.Next(), Wide(ProgramDir() + "\\kor.html"));
  PostMessageA(main, WM_SYSCOMMAND, IDM_CONFIGURE, 0);
  HWND config = WaitForDialog("KOR Configuration");
  ASSERT_TRUE(config);
  Click(config, IDC_CONFIG_HELP);
  EXPECT_EQ(opened.Next(), Wide(ProgramDir() + "\\kor-100.html"));
  EXPECT_TRUE(IsWindowVisible(config));  // the dialog stays open
  Click(config, IDCANCEL);
  WaitGone(config);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

// KOR.EXE, ZORVA.DLL and the help pages copied into a folder of the given
// name in the temporary folder; the folder goes with the object.
class TCopiedKor {
 public:
  explicit TCopiedKor(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    Folder = std::wstring(temp) + name;
    CreateDirectoryW(Folder.c_str(), nullptr);
    for (const wchar_t* file : kFiles)
      CopyFileW((Wide(ProgramDir()) + L"\\" + file).c_str(), (Folder + L"\\" + file).c_str(),
                FALSE);
  }
  ~TCopiedKor() {
    if (Process.hProcess) {
      TerminateProcess(Process.hProcess, 137);
      Wait();
    }
    for (const wchar_t* file : kFiles) DeleteFileW((Folder + L"\\" + file).c_str());
    RemoveDirectoryW(Folder.c_str());
  }
  // Starts the copy with -q, from the temporary folder (where no ZORVA.DLL is).
  bool Start() {
    std::wstring line = L"\"" + Folder + L"\\KOR.EXE\" -q";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        (Folder + L"\\..").c_str(), &startup, &Process))
      return false;
    CloseHandle(Process.hThread);
    return true;
  }
  int Wait() {
    DWORD code = 1;
    WaitForSingleObject(Process.hProcess, 20000);
    GetExitCodeProcess(Process.hProcess, &code);
    CloseHandle(Process.hProcess);
    Process.hProcess = nullptr;
    return static_cast<int>(code);
  }
  // The file a module of the process was loaded from.
  std::wstring Module(const wchar_t* name) const {
    std::wstring path;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, Process.dwProcessId);
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32FirstW(snapshot, &module); more && path.empty();
         more = Module32NextW(snapshot, &module))
      if (lstrcmpiW(module.szModule, name) == 0) path = module.szExePath;
    CloseHandle(snapshot);
    return path;
  }

  std::wstring Folder;

 private:
  static constexpr const wchar_t* kFiles[] = {L"KOR.EXE",      L"ZORVA.DLL",    L"kor.html",
                                              L"kor-100.html", L"kor-101.html", L"kor-102.html"};
  PROCESS_INFORMATION Process{};
};

// Folders named in letters the ANSI code page lacks: Cyrillic, and a Polish
// letter that a Western code page turns into a look-alike (Lukasz, a folder
// that does not exist). KOR loads ZORVA.DLL from its own folder there,
// answers, and Help opens the page beside it.
TEST_F(Kor, AnswersAndHelpsInAFolderTheAnsiCodePageCannotName) {
  StoreClientPassword("BBS>", "secret", kMD5);
  OpenedPages opened;
  for (const wchar_t* name : {L"\u041f\u0451\u0442\u0440", L"\u0141ukasz"}) {
    SCOPED_TRACE(name == std::wstring(L"\u0141ukasz") ? "Lukasz" : "Pyotr");
    BOOL lost = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, nullptr, 0, nullptr, &lost);
    ASSERT_TRUE(lost) << "the ANSI code page holds the name: the case would show nothing";
    TCopiedKor kor(name);
    ASSERT_TRUE(kor.Start());
    HWND main = WaitMain();
    ASSERT_TRUE(main);
    PostMessageA(main, WM_SYSCOMMAND, IDM_HELP, 0);
    EXPECT_EQ(opened.Next(), kor.Folder + L"\\kor.html");
    Type(main, "BBS> Login <  x9q2  >");
    Key(main, '\r');
    HWND result = WaitForDialog("Result");
    if (!result) {
      ADD_FAILURE() << "no reply: ZORVA.DLL was not loaded";
      continue;
    }
    EXPECT_EQ(StaticTexts(result), TMD5Digest("x9q2secret").HexDigest());
    Click(result, IDOK);
    WaitGone(result);
    EXPECT_EQ(kor.Module(L"ZORVA.DLL"), kor.Folder + L"\\ZORVA.DLL");
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kor.Wait(), 0);
  }
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
  EXPECT_EQ(FindWindowA("KorvelMakePassFrame", kTitle) &&
                IsWindowVisible(FindWindowA("KorvelMakePassFrame", kTitle)),
            false);
  RECT r;
  GetWindowRect(splash, &r);
  EXPECT_EQ(r.left, GetSystemMetrics(SM_CXSCREEN) / 2 - (r.right - r.left) / 2);
  EXPECT_EQ(r.top, GetSystemMetrics(SM_CYSCREEN) / 2 - (r.bottom - r.top) / 2);
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  DWORD elapsed = GetTickCount() - shown;
  EXPECT_GE(elapsed, 4500u);
  EXPECT_LT(elapsed, 9000u);
  EXPECT_TRUE(TypingGoesToTheInput(main));
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
  EXPECT_TRUE(TypingGoesToTheInput(main));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(quick->Wait(), 0);
}

}  // namespace
}  // namespace korvel
