#include "CodePage.h"

namespace korvel {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring(text.size(), L'\xFFFD');  // an unknown code page
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Narrow(const std::wstring& text, UINT codePage, bool* lost) {
  if (lost) *lost = false;
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  BOOL* used = &usedDefault;
  int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, used);
  if (length <= 0) {
    // UTF-8, UTF-7 and a few others take neither the flag nor the default
    // character; UTF-8 holds every character anyway.
    flags = 0;
    used = nullptr;
    length = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  }
  if (length <= 0) {
    if (lost) *lost = true;
    return std::string(text.size(), '?');
  }
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), size, narrow.data(), length, nullptr, used);
  if (lost) *lost = usedDefault != FALSE;
  return narrow;
}

std::string ConvertCodePage(const std::string& text, UINT from, UINT to, bool* lost) {
  return Narrow(Widen(text, from), to, lost);
}

}  // namespace korvel
