// The clipboard of the Windows programs (KOR and korvel.exe).
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

namespace korvel {

// Opens the clipboard for `owner`. Another program may hold it open for a
// moment (clipboard history, a remote desktop, clipboard managers look at
// each change), so a refusal is tried again, 10 times 20 ms apart, before
// this gives up with false.
bool OpenClipboardPatiently(HWND owner);

// Puts the text on the clipboard as CF_TEXT and CF_UNICODETEXT (made from
// the ANSI code page), marked to stay out of the clipboard history, the
// cloud clipboard and clipboard monitors, for `owner`. Without an owner a
// message-only window of its own owns the clipboard for the call: Windows
// documents that SetClipboardData fails after EmptyClipboard empties a
// clipboard that was opened without one. False when the clipboard could not
// be opened or the text not handed over.
bool PutTextOnClipboard(const std::string& text, HWND owner);

// The text in a clipboard's memory block up to its first zero, never read
// past the block's end (a program may leave out the terminating zero), and
// cut to `limit` characters. None when the block cannot be locked.
std::optional<std::string> BlockText(HGLOBAL block, std::size_t limit);

// The clipboard's CF_TEXT as BlockText reads it. None when the clipboard
// holds no text or could not be opened.
std::optional<std::string> ClipboardText(HWND owner, std::size_t limit);

}  // namespace korvel
