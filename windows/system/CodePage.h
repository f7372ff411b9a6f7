// Text between Windows code pages: the programs keep ANSI text (the code
// page of CP_ACP), a console shows and types in code pages of its own.
#pragma once

#include <windows.h>

#include <string>

namespace korvel {

// The text in UTF-16; every byte sequence has an answer (bytes that are no
// character of the code page become U+FFFD).
std::wstring Widen(const std::string& text, UINT codePage);

// The text in the code page. A character the code page cannot hold becomes
// '?', never a look-alike (no "best fit": a typed password must not change
// unseen); `lost`, when given, tells whether that happened.
std::string Narrow(const std::wstring& text, UINT codePage, bool* lost = nullptr);

// The text moved from one code page to another, as Narrow(Widen(...)).
std::string ConvertCodePage(const std::string& text, UINT from, UINT to, bool* lost = nullptr);

// Paths. The programs hold paths as ANSI text, as they hold every text; a
// folder may be named with characters the ANSI code page lacks (a Russian
// name under a Western code page). A program's argument with such characters
// is remembered with its ANSI form, where each of them is a '?', which no
// path holds: WidePath gives the path back whole, also for a path made from
// that argument (its folder, a file beside it).
void RememberWideArgument(const std::wstring& argument);
std::wstring WidePath(const std::string& path);

}  // namespace korvel
