// Text across the boundaries that only Windows has: code pages, korvel.exe's
// console, the clipboard of KOR and korvel.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "ChildProcess.h"
#include "Clipboard.h"
#include "CodePage.h"
#include "TestStores.h"

namespace korvel {
namespace {

using namespace korvel::test;

std::vector<std::string> Command(const std::vector<std::string>& args) {
  std::vector<std::string> argv{ProgramDir() + "\\korvel.exe"};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

// korvel.exe on pipes: its exit code, and what it wrote when asked.
int Korvel(const std::vector<std::string>& args, const std::string& input,
           std::string* out = nullptr) {
  TChildProcess child(Command(args));
  child.Write(input);
  child.CloseInput();
  std::string all = child.ReadAllBytes();
  if (out) *out = all;
  return child.Wait();
}

class KorvelWin32 : public ::testing::Test {
 protected:
  void SetUp() override { ClearCalvek(); }
  static std::string Clipboard() { return ClipboardText(nullptr, 1000).value_or("<none>"); }
};

// ---- code pages ---------------------------------------------------------------

TEST(CodePage, CharactersMoveBetweenCodePagesOrBecomeAQuestionMark) {
  struct TCase {
    const char* Text;
    UINT From, To;
    const char* Want;
    bool Lost;
  };
  const TCase cases[] = {
      {"Passw\xF6rt", 1252, 850, "Passw\x94rt", false},  // o umlaut
      {"Passw\x94rt", 850, 1252, "Passw\xF6rt", false},
      {"caf\xE9", 1252, 850, "caf\x82", false},  // e acute
      {"caf\x82", 850, 1252, "caf\xE9", false},
      {"5 \x80", 1252, 850, "5 ?", true},        // the euro sign: 850 has none
      {"\xC9\xCD\xBB", 850, 1252, "???", true},  // box corners: 1252 has none
      {"\xF6", 1252, CP_UTF8, "\xC3\xB6", false},
      {"\xC3\xB6", CP_UTF8, 1252, "\xF6", false},
      {"\xE2\x82\xAC", CP_UTF8, 850, "?", true},   // the euro sign again
      {"\xE1\xBA\xA0", CP_UTF8, 1252, "?", true},  // A with dot below: no look-alike "A"
      {"plain ASCII", 1252, 850, "plain ASCII", false},
      {"", 1252, 850, "", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Text) + " " + std::to_string(c.From) + ">" + std::to_string(c.To));
    bool lost = !c.Lost;
    EXPECT_EQ(ConvertCodePage(c.Text, c.From, c.To, &lost), c.Want);
    EXPECT_EQ(lost, c.Lost);
  }
}

// ---- korvel.exe at a console ------------------------------------------------------

// A console of this test's own, in the OEM code page 850 as a German
// Windows has it, with korvel.exe started on it; keys are typed into it and
// its screen read back, as a person sitting at it would.
class TConsoleKorvel {
 public:
  explicit TConsoleKorvel(const std::string& args) {
    FreeConsole();
    if (!AllocConsole()) return;
    SetConsoleCP(850);
    SetConsoleOutputCP(850);
    SetConsoleCtrlHandler(KeepThisTest, TRUE);
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    In = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherited, OPEN_EXISTING, 0, nullptr);
    Out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = In;
    si.hStdOutput = Out;
    si.hStdError = Out;
    std::string line = '"' + ProgramDir() + "\\korvel.exe\" " + args;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                        &pi))
      return;
    CloseHandle(pi.hThread);
    Process = pi.hProcess;
  }
  ~TConsoleKorvel() {
    if (Process) {
      TerminateProcess(Process, 1);
      CloseHandle(Process);
    }
    CloseHandle(In);
    CloseHandle(Out);
    SetConsoleCtrlHandler(KeepThisTest, FALSE);
    FreeConsole();
  }
  bool Started() const { return Process != nullptr; }
  // The screen's lines up to the cursor, without their trailing blanks.
  std::wstring Screen() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(Out, &info);
    std::wstring screen;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
      std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
      DWORD got = 0;
      ReadConsoleOutputCharacterW(Out, line.data(), info.dwSize.X, COORD{0, row}, &got);
      line.erase(line.find_last_not_of(L' ') + 1);
      screen += line + L'\n';
    }
    return screen;
  }
  bool AwaitScreen(const std::wstring& text) const {
    for (int i = 0; i < 500; ++i, Sleep(20))
      if (Screen().find(text) != std::wstring::npos) return true;
    return false;
  }
  bool Echoes() const {
    DWORD mode = 0;
    GetConsoleMode(In, &mode);
    return (mode & ENABLE_ECHO_INPUT) != 0;
  }
  // Each character as a key pressed and let go; "\r" is Enter, "\x03" Ctrl-C.
  void Type(const std::wstring& keys) {
    for (wchar_t key : keys) {
      INPUT_RECORD press[2]{};
      for (int i = 0; i < 2; ++i) {
        press[i].EventType = KEY_EVENT;
        KEY_EVENT_RECORD& k = press[i].Event.KeyEvent;
        k.bKeyDown = i == 0;
        k.wRepeatCount = 1;
        k.uChar.UnicodeChar = key;
        k.wVirtualKeyCode = key == L'\r' ? VK_RETURN : key == 3 ? 'C' : LOBYTE(VkKeyScanW(key));
        k.dwControlKeyState = key == 3 ? LEFT_CTRL_PRESSED : 0;
      }
      DWORD written = 0;
      WriteConsoleInputW(In, press, 2, &written);
    }
  }
  // korvel's exit code; STILL_ACTIVE when it has not ended in 20 seconds.
  DWORD Wait() {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(Process, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(Process, &code);
    return code;
  }

 private:
  // The test shares korvel's console: Ctrl-C typed into it is for korvel.
  static BOOL WINAPI KeepThisTest(DWORD event) { return event == CTRL_C_EVENT; }

  HANDLE In = INVALID_HANDLE_VALUE, Out = INVALID_HANDLE_VALUE, Process = nullptr;
};

TEST_F(KorvelWin32, APasswordTypedAtTheConsoleIsStoredInTheAnsiCodePage) {
  ASSERT_EQ(GetACP(), 1252u);  // the prefix's, as a western Windows has it
  {
    TConsoleKorvel korvel("add de --type md5 --prompt \"Gr\xFC\xDF Gott>\"");
    ASSERT_TRUE(korvel.Started());
    ASSERT_TRUE(korvel.AwaitScreen(L"Password:"));
    EXPECT_FALSE(korvel.Echoes());
    korvel.Type(L"Passw\u00F6rt\r");
    EXPECT_EQ(korvel.Wait(), 0u);
    EXPECT_TRUE(korvel.Echoes());
    EXPECT_EQ(korvel.Screen().find(L"\u00F6rt"), std::wstring::npos);  // never shown
  }
  std::string shown;
  ASSERT_EQ(Korvel({"show", "de", "--reveal"}, "", &shown), 0);  // a pipe: ANSI bytes
  EXPECT_NE(shown.find("Password:  Passw\xF6rt\n"), std::string::npos) << shown;
  {
    TConsoleKorvel korvel("list");  // the console shows the prompt's characters
    ASSERT_TRUE(korvel.Started());
    EXPECT_EQ(korvel.Wait(), 0u);
    EXPECT_NE(korvel.Screen().find(L"Gr\u00FC\u00DF Gott>"), std::wstring::npos);
  }
  {
    // A character that code page 1252 has no place for: stored as '?' the
    // password would answer wrongly, so it is refused.
    TConsoleKorvel korvel("add cz --type md5 --prompt CZ>");
    ASSERT_TRUE(korvel.AwaitScreen(L"Password:"));
    korvel.Type(L"P\u0159i\r");
    EXPECT_EQ(korvel.Wait(), 1u);
    EXPECT_TRUE(korvel.AwaitScreen(L"ANSI code page (1252)"));
    EXPECT_TRUE(korvel.Echoes());
  }
  EXPECT_EQ(Korvel({"show", "cz"}, ""), 1);  // not added
}

TEST_F(KorvelWin32, CtrlCAtThePasswordPromptGivesTheConsoleItsEchoBack) {
  TConsoleKorvel korvel("add x --type md5 --prompt P");
  ASSERT_TRUE(korvel.Started());
  ASSERT_TRUE(korvel.AwaitScreen(L"Password:"));
  EXPECT_FALSE(korvel.Echoes());
  korvel.Type(L"\x03");
  EXPECT_NE(korvel.Wait(),
            STILL_ACTIVE);  // Windows ends it with STATUS_CONTROL_C_EXIT, Wine with 0
  EXPECT_TRUE(korvel.Echoes());
  std::string list;
  EXPECT_EQ(Korvel({"list"}, "", &list), 0);
  EXPECT_EQ(list, "");  // nothing was added
}

// ---- the clipboard -------------------------------------------------------------

// Another program's block, as GlobalSize gives it: the bytes behind its end
// (a block is rounded up in its heap) are not zero.
TEST(Clipboard, ABlockIsReadUpToItsZeroItsEndOrTheLimit) {
  const struct {
    std::string Bytes;
    std::size_t Limit;
    std::string Want;
  } cases[] = {
      {"DB0XYZ} 3 1 4", 255, "DB0XYZ} 3 1 4"},  // no terminating zero
      {std::string("DB0\0XYZ", 7), 255, "DB0"},
      {std::string("DB0XYZ\0", 7), 3, "DB0"},
      {std::string(300, '7'), 255, std::string(255, '7')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Want);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.Bytes.size() + 64);
    ASSERT_TRUE(block);
    char* p = static_cast<char*>(GlobalLock(block));
    std::memset(p, 'X', c.Bytes.size() + 64);
    std::memcpy(p, c.Bytes.data(), c.Bytes.size());
    GlobalUnlock(block);
    block = GlobalReAlloc(block, c.Bytes.size(), 0);  // shrunk in place
    ASSERT_TRUE(block);
    ASSERT_EQ(GlobalSize(block), c.Bytes.size());
    EXPECT_EQ(BlockText(block, c.Limit), c.Want);
    GlobalFree(block);
  }
}

// ---- korvel.exe and the clipboard ------------------------------------------------

TEST_F(KorvelWin32, CopyPutsTheReplyOnTheClipboardThoughAnotherProgramHoldsItAMoment) {
  ASSERT_EQ(Korvel({"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "11111\n"), 0);
  TChildProcess filter(Command({"reply", "--copy"}));
  filter.WriteLine("ITA> 1 2 3 4 5");  // the reply is written after it was copied
  EXPECT_EQ(filter.ReadLine(), "15");
  EXPECT_EQ(Clipboard(), "15");

  ASSERT_TRUE(OpenClipboard(nullptr));  // as a clipboard manager looking at a change
  filter.WriteLine("ITA> 1 1 1 1 1");
  Sleep(100);
  CloseClipboard();
  EXPECT_EQ(filter.ReadLine(), "5");
  EXPECT_EQ(Clipboard(), "5");
  filter.CloseInput();
  EXPECT_EQ(filter.Wait(), 0);
}

// A reply on the clipboard: as text in the ANSI code page and as Unicode made
// from that code page (not from the keyboard layout's), and marked to stay out
// of the clipboard history, the cloud clipboard and clipboard monitors.
TEST(Clipboard, AReplyCarriesUnicodeAndStaysOutOfTheHistory) {
  ASSERT_TRUE(PutTextOnClipboard("Passw\xF6rt", nullptr));
  ASSERT_TRUE(OpenClipboard(nullptr));
  std::wstring unicode;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      unicode = text;
      GlobalUnlock(data);
    }
  }
  std::vector<std::string> markedZero;
  for (const char* name : {"ExcludeClipboardContentFromMonitorProcessing",
                           "CanIncludeInClipboardHistory", "CanUploadToCloudClipboard"}) {
    HANDLE data = GetClipboardData(RegisterClipboardFormatA(name));
    if (const auto* value = data ? static_cast<const DWORD*>(GlobalLock(data)) : nullptr) {
      if (GlobalSize(data) >= sizeof(DWORD) && *value == 0) markedZero.push_back(name);
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  EXPECT_EQ(unicode, Widen("Passw\xF6rt", CP_ACP));
  if (GetACP() == 1252) {
    EXPECT_EQ(unicode, L"Passw\u00F6rt");
  }
  EXPECT_EQ(markedZero.size(), 3u) << ::testing::PrintToString(markedZero);
}

// ---- korvel.exe without a console ------------------------------------------------

// Standard input from NUL (a scheduled task, a service) is nobody to ask:
// import replaces the list without a question, as with /dev/null on Linux.
TEST_F(KorvelWin32, ImportFromNulAsksNothing) {
  ASSERT_EQ(Korvel({"add", "old", "--type", "md5", "--prompt", "OLD>"}, "pw\n"), 0);
  std::string exported;
  ASSERT_EQ(Korvel({"export"}, "", &exported), 0);
  const std::string path = MakeTempDir() + "\\list.reg";
  WriteFileBytes(path, exported);
  ASSERT_EQ(Korvel({"add", "new", "--type", "md5", "--prompt", "NEW>"}, "pw\n"), 0);
  TChildProcess import(Command({"import", path}), "NUL");
  ASSERT_TRUE(import.Started());
  const std::string said = import.ReadAll();
  EXPECT_EQ(import.Wait(), 0) << said;
  EXPECT_EQ(said.find("Replace"), std::string::npos) << said;
  std::string list;
  Korvel({"list"}, "", &list);
  EXPECT_EQ(list, "0\told\tMD5\tOLD>\n");
}

// korvel.exe started with a Unicode command line (as Explorer and every shell
// start it); its exit code, and its standard output.
int KorvelWide(const std::vector<std::wstring>& args, std::string* out = nullptr) {
  std::wstring line = L"\"" + Widen(ProgramDir(), CP_ACP) + L"\\korvel.exe\"";
  for (const std::wstring& arg : args) line += L" \"" + arg + L"\"";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readOut = nullptr, writeOut = nullptr;
  if (!CreatePipe(&readOut, &writeOut, &sa, 0)) return -1;
  SetHandleInformation(readOut, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul;
  si.hStdOutput = writeOut;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(writeOut);
  CloseHandle(nul);
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (started && ReadFile(readOut, buffer, sizeof buffer, &got, nullptr) && got > 0)
    all.append(buffer, got);
  CloseHandle(readOut);
  if (!started) return -1;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (out) *out = all;
  return static_cast<int>(code);
}

// A folder named in letters the ANSI code page lacks (a Russian name under
// a Western one): export, import and a store file there work, with the
// store's lock and temporary files beside it.
TEST_F(KorvelWin32, PathsBeyondTheAnsiCodePageWork) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: it holds every name";
  ASSERT_EQ(Korvel({"add", "a", "--type", "md5", "--prompt", "A>"}, "pw\n"), 0);
  const std::wstring dir = Widen(MakeTempDir(), CP_ACP) + L"\\\u041F\u0451\u0442\u0440";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  const std::wstring file = dir + L"\\\u0441\u043F\u0438\u0441\u043E\u043A.reg";
  const std::wstring store = dir + L"\\store.reg";
  EXPECT_EQ(KorvelWide({L"export", file}), 0);
  EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(KorvelWide({L"--store", store, L"import", file, L"--yes"}), 0);
  std::string list;
  EXPECT_EQ(KorvelWide({L"--store", store, L"list"}, &list), 0);
  EXPECT_EQ(list, "0\ta\tMD5\tA>\n");
  EXPECT_EQ(KorvelWide({L"--store", store, L"delete", L"a"}), 0);  // a save: lock and temporary
  EXPECT_EQ(KorvelWide({L"--store", store, L"list"}, &list), 0);
  EXPECT_EQ(list, "");
}

// mintty (Git Bash, MSYS2, Cygwin) gives a program pipes, not a console: a
// password typed there would show, so korvel.exe does not ask for one.
TEST_F(KorvelWin32, APasswordIsNotAskedForOnAMinttyTerminal) {
  const std::string name = "\\\\.\\pipe\\msys-1888ae32e00d56aa-pty0-from-master";
  HANDLE pipe = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  TChildProcess add(Command({"add", "x", "--type", "md5", "--prompt", "X>"}), name);
  ASSERT_TRUE(add.Started());
  ConnectNamedPipe(pipe, nullptr);
  DWORD written = 0;
  WriteFile(pipe, "secret\n", 7, &written, nullptr);  // typed, and shown by mintty
  add.ReadAll();
  EXPECT_EQ(add.Wait(), 1);
  CloseHandle(pipe);  // the terminal stays while the program runs
  std::string list;
  Korvel({"list"}, "", &list);
  EXPECT_EQ(list, "");
}

}  // namespace
}  // namespace korvel
