#include "Clipboard.h"

#include <cstring>

namespace korvel {
namespace {

constexpr int kOpenTries = 10;
constexpr DWORD kOpenPauseMs = 20;

}  // namespace

bool OpenClipboardPatiently(HWND owner) {
  for (int i = 0;; ++i) {
    if (OpenClipboard(owner)) return true;
    if (i + 1 == kOpenTries) return false;
    Sleep(kOpenPauseMs);
  }
}

bool PutTextOnClipboard(const std::string& text, HWND owner) {
  HWND ownWindow = nullptr;
  if (!owner) {
    // Made and destroyed for this call: a window kept while korvel waits for
    // its next input line would hold up a program that empties the
    // clipboard (that sends the owner WM_DESTROYCLIPBOARD). The text stays
    // on the clipboard when its owner is destroyed.
    ownWindow = CreateWindowExA(0, "Message", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!ownWindow) return false;
    owner = ownWindow;
  }
  bool handed = false;
  if (HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
    if (void* memory = GlobalLock(block)) {
      std::memcpy(memory, text.c_str(), text.size() + 1);
      GlobalUnlock(block);
      if (OpenClipboardPatiently(owner)) {
        if (EmptyClipboard())
          handed = SetClipboardData(CF_TEXT, block) != nullptr;  // then the clipboard owns it
        CloseClipboard();
      }
    }
    if (!handed) GlobalFree(block);
  }
  if (ownWindow) DestroyWindow(ownWindow);
  return handed;
}

std::optional<std::string> BlockText(HGLOBAL block, std::size_t limit) {
  const char* text = static_cast<const char*>(GlobalLock(block));
  if (!text) return std::nullopt;
  std::size_t size = GlobalSize(block);
  if (const void* zero = std::memchr(text, '\0', size))
    size = static_cast<std::size_t>(static_cast<const char*>(zero) - text);
  std::string result(text, size < limit ? size : limit);
  GlobalUnlock(block);
  return result;
}

std::optional<std::string> ClipboardText(HWND owner, std::size_t limit) {
  if (!OpenClipboardPatiently(owner)) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) text = BlockText(data, limit);
  CloseClipboard();
  return text;
}

}  // namespace korvel
