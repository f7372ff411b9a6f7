// Which page of the HTML help that ships beside KOR.EXE KOR shows for a help
// topic.
#pragma once

#include <string>

namespace korvel {

// The help topics of KOR's window menu (the context numbers of its former
// WinHelp file); the configuration dialog's Help button asks for the
// Configure topic.
inline constexpr unsigned kHelpContents = 0;
inline constexpr unsigned kHelpConfigure = 100;
inline constexpr unsigned kHelpPasswordSetup = 101;
inline constexpr unsigned kHelpAbout = 102;

// The HTML help: one page, kor.html, with an anchor "topic-N" for each topic.
inline constexpr char kHelpPage[] = "kor.html";

// The page beside KOR.EXE that shows a topic. A topic's page is a small page
// of its own, kor-N.html, that forwards to kor.html#topic-N: opening a file
// with a fragment ("kor.html#topic-100") through ShellExecute fails (no such
// file) or loses the fragment, depending on the browser, while a plain file
// name always opens. The contents and topics without a page of their own
// open kor.html.
//
// (WinHelp, which showed KOR.HLP, is gone from every Windows KOR runs on:
// from Vista on winhlp32.exe is missing or a stub that says WinHelp is not
// supported.)
std::string HelpPage(unsigned topic);

}  // namespace korvel
