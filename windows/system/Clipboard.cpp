#include "Clipboard.h"

#include <cstring>

namespace korvel {
namespace {

constexpr int kOpenTries = 10;
constexpr DWORD kOpenPauseMs = 20;

// A movable block holding `size` bytes, for the clipboard; null when out of
// memory.
HGLOBAL Block(const void* bytes, std::size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (!block) return nullptr;
  void* memory = GlobalLock(block);
  if (!memory) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(memory, bytes, size);
  GlobalUnlock(block);
  return block;
}

// Hands a block to the clipboard, which then owns it; frees it when refused.
bool Hand(UINT format, HGLOBAL block) {
  if (!block || !format) {
    if (block) GlobalFree(block);
    return false;
  }
  if (SetClipboardData(format, block)) return true;
  GlobalFree(block);
  return false;
}

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
  // The text in the ANSI code page, as KOR and the store hold it, and as
  // UTF-16 made from that code page here: from CF_TEXT alone Windows would
  // make it with the keyboard layout's code page, and a reply with an o
  // umlaut would paste as another letter under a Russian layout.
  std::wstring wide(text.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length < 0 ? 0 : length));
  wide.push_back(L'\0');
  // A reply is no item for the clipboard history (Win+V), for syncing to
  // other devices, or for programs that watch the clipboard.
  const DWORD no = 0;
  bool handed = false;
  if (OpenClipboardPatiently(owner)) {
    if (EmptyClipboard()) {
      handed = Hand(CF_TEXT, Block(text.c_str(), text.size() + 1));
      handed = Hand(CF_UNICODETEXT, Block(wide.data(), wide.size() * sizeof(wchar_t))) && handed;
      for (const char* format : {"ExcludeClipboardContentFromMonitorProcessing",
                                 "CanIncludeInClipboardHistory", "CanUploadToCloudClipboard"})
        handed = Hand(RegisterClipboardFormatA(format), Block(&no, sizeof no)) && handed;
    }
    CloseClipboard();
  }
  SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));  // a reply
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
