#include "Clipboard.h"

#include <cstring>

namespace korvel {

bool PutTextOnClipboard(const std::string& text, HWND owner) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (!block) return false;
  void* memory = GlobalLock(block);
  if (!memory) {
    GlobalFree(block);
    return false;
  }
  std::memcpy(memory, text.c_str(), text.size() + 1);
  GlobalUnlock(block);
  if (!OpenClipboard(owner)) {
    GlobalFree(block);
    return false;
  }
  EmptyClipboard();
  bool handed = SetClipboardData(CF_TEXT, block) != nullptr;  // then the clipboard owns it
  CloseClipboard();
  if (!handed) GlobalFree(block);
  return handed;
}

}  // namespace korvel
