// KOR.EXE as a real process under Wine, with its settings and the client
// passwords in the prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "CaptionFont.h"
#include "Digest.h"
#include "KorHelp.h"
#include "WinPassSettings.h"
#include "ZORVAModule.h"
#include "ChildProcess.h"
#include "Records.h"
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

TEST_F(Kor, ASecondStartBringsTheFirstForwardAndTouchesNothing) {
  auto first = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  ShowWindow(main, SW_MINIMIZE);
  ClearCalvek();
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
  HWND other =
      CreateWindowExA(0, wc.lpszClassName, "hot key owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                      100, 50, nullptr, nullptr, nullptr, nullptr);
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
// it writes the file's name into a file of its own.
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
    Set(std::string(kClass) + "\\shell\\open\\command", "cmd.exe /c echo %1>\"" + Record + "\"");
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
  std::string Next() {
    for (int i = 0; i < 500; ++i) {
      std::string text = FileText(Record);
      if (!text.empty() && text.back() == '\n') {
        DeleteFileA(Record.c_str());
        return text.substr(0, text.find_last_not_of(" \r\n") + 1);
      }
      Sleep(20);
    }
    return "<nothing opened>";
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

// Help opens the contents page, the configuration dialog's Help its topic's
// page.
TEST_F(Kor, HelpOpensTheHtmlPagesBesideKor) {
  OpenedPages opened;
  auto kor = Start();
  HWND main = WaitMain();
  ASSERT_TRUE(main);
  PostMessageA(main, WM_SYSCOMMAND, IDM_HELP, 0);
  EXPECT_EQ(opened.Next(), ProgramDir() + "\\kor.html");
  PostMessageA(main, WM_SYSCOMMAND, IDM_CONFIGURE, 0);
  HWND config = WaitForDialog("KOR Configuration");
  ASSERT_TRUE(config);
  Click(config, IDC_CONFIG_HELP);
  EXPECT_EQ(opened.Next(), ProgramDir() + "\\kor-100.html");
  EXPECT_TRUE(IsWindowVisible(config));  // the dialog stays open
  Click(config, IDCANCEL);
  WaitGone(config);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(kor->Wait(), 0);
}

HWND WaitForSplash() {
  for (int i = 0; i < 500; ++i) {
    HWND w = FindWindowA("#32770", "");
    if (w && IsWindowVisible(w)) return w;
    Sleep(10);
  }
  return nullptr;
}

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
