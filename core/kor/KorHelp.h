// Which help KOR shows for a help topic: the WinHelp file where WinHelp
// works, else a page of the HTML help that ships beside KOR.EXE.
#pragma once

#include <string>

namespace korvel {

// The help topics (WinHelp context numbers) of KOR's window menu; the
// configuration dialog's Help button asks for the Configure topic.
inline constexpr unsigned kHelpContents = 0;
inline constexpr unsigned kHelpConfigure = 100;
inline constexpr unsigned kHelpPasswordSetup = 101;
inline constexpr unsigned kHelpAbout = 102;

// The HTML help: one page, kor.html, with an anchor "topic-N" for each topic.
inline constexpr char kHelpPage[] = "kor.html";

struct THelpChoice {
  bool WinHelp;      // true: the help file through WinHelp at the topic
  std::string Page;  // else this page beside KOR.EXE
};

// WinHelp is a part of Windows up to XP (major version 5). From Vista (6) on
// winhlp32.exe is missing or a stub that says WinHelp is not supported
// (Vista to 8.1 had it as a separate download; 10 and 11 have none), so
// there the HTML help is shown, also where a .hlp file is at hand.
// `helpFileFound`: the settings' help file exists.
//
// A topic's page is a small page of its own, kor-N.html, that forwards to
// kor.html#topic-N: opening a file with a fragment ("kor.html#topic-100")
// through ShellExecute fails (no such file) or loses the fragment, depending
// on the browser, while a plain file name always opens. The contents and
// topics without a page of their own open kor.html.
THelpChoice ChooseHelp(unsigned topic, unsigned windowsMajor, bool helpFileFound);

}  // namespace korvel
