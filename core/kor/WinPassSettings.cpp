#include "WinPassSettings.h"

#include <cstdio>

namespace korvel {
namespace {

// Of each stored setting the program keeps the low 16 bits.
uint16_t Low16(std::optional<uint32_t> value, uint16_t fallback) {
  return value ? static_cast<uint16_t>(*value & 0xFFFF) : fallback;
}

}  // namespace

const char* HotKeyProblem(long answer) {
  switch (answer) {
    case 2: return "HOTKEY is used by another application!";
    case 0: return "WM_SETHOTKEY failed, invalid HWND!";
    case -1: return "WM_SETHOTKEY failed, invalid hot key";
    default: return nullptr;
  }
}

void TKorSettings::SetCaptionHeight(uint16_t height) {
  CaptionHeight = height;
  char text[8];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(height));
  Settings.CaptionHeightText[0] = text[0];
  Settings.CaptionHeightText[1] = text[1];
  Settings.CaptionHeightText[2] = '\0';
}

void LoadKorSettings(TRegKey& machine, TKorSettings& settings) {
  const TKorSettings defaults;
  settings = defaults;
  auto key = machine.Open(kKorKeyPath);
  if (!key) return;
  auto hotkey = key->Open(kHotkeyKey);
  if (auto help = QueryText(*key, "HelpFilename", 259)) settings.HelpFile = *help;
  if (!hotkey) return;
  settings.MajorVersion = QueryDword(*key, "MajorVersion").value_or(defaults.MajorVersion);
  settings.MinorVersion = QueryDword(*key, "MinorVersion").value_or(defaults.MinorVersion);
  settings.Build = QueryDword(*key, "Build").value_or(defaults.Build);
  settings.InstallationDate =
      QueryDword(*key, "InstallationDate").value_or(defaults.InstallationDate);
  TWinPassSettings& s = settings.Settings;
  s.HotkeyEnabled = Low16(QueryDword(*hotkey, "HotkeyActivation"), 0);
  s.HotkeyCode = Low16(QueryDword(*hotkey, "HotkeyValue"), 0);
  s.CopyChallengeFromClipboard = Low16(QueryDword(*key, "CopyChallangeFromClipboard"), 0);
  s.TopmostWindow = Low16(QueryDword(*key, "TopmostWindow"), 0);
  settings.SetCaptionHeight(Low16(QueryDword(*key, "CaptionHeight"), defaults.CaptionHeight));
  s.IconizeAfterUse = Low16(QueryDword(*key, "IconizeAfterUse"), 0);
  s.CopyToClipboard = Low16(QueryDword(*key, "CopyToClipboard"), 0);
}

bool SaveKorSettings(TRegKey& machine, const TKorSettings& settings) {
  auto key = machine.Create(kKorKeyPath);
  if (!key) return false;
  bool ok = SetDword(*key, "MajorVersion", settings.MajorVersion);
  ok = SetDword(*key, "MinorVersion", settings.MinorVersion) && ok;
  ok = SetDword(*key, "Build", settings.Build) && ok;
  ok = SetDword(*key, "InstallationDate", settings.InstallationDate) && ok;
  auto hotkey = key->Create(kHotkeyKey);
  const TWinPassSettings& s = settings.Settings;
  ok = hotkey && SetDword(*hotkey, "HotkeyActivation", s.HotkeyEnabled) && ok;
  ok = hotkey && SetDword(*hotkey, "HotkeyValue", s.HotkeyCode) && ok;
  ok = SetDword(*key, "CopyChallangeFromClipboard", s.CopyChallengeFromClipboard) && ok;
  ok = SetDword(*key, "TopmostWindow", s.TopmostWindow) && ok;
  ok = SetDword(*key, "CaptionHeight", settings.CaptionHeight) && ok;
  ok = SetDword(*key, "IconizeAfterUse", s.IconizeAfterUse) && ok;
  ok = SetDword(*key, "CopyToClipboard", s.CopyToClipboard) && ok;
  return ok;
}

}  // namespace korvel
