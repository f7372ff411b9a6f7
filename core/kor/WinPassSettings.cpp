#include "WinPassSettings.h"

#include <string>

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
  // The first two digits (the text holds two characters); std::to_string
  // rather than a printf, which would weigh in every shipped file.
  const std::string text = std::to_string(height);
  Settings.CaptionHeightText[0] = text[0];
  Settings.CaptionHeightText[1] = text.size() > 1 ? text[1] : '\0';
  Settings.CaptionHeightText[2] = '\0';
}

TKorSettings SettingsFromStored(const TKorStoredValues& stored) {
  TKorSettings settings;
  const TKorSettings defaults;
  if (!stored.HasKey) return settings;
  if (stored.HelpFilename) settings.HelpFile = stored.HelpFilename->substr(0, kHelpFileLimit);
  if (!stored.HasHotkeyKey) return settings;
  auto value = [&](const char* name) -> std::optional<uint32_t> {
    auto it = stored.Dwords.find(name);
    if (it == stored.Dwords.end()) return std::nullopt;
    return it->second;
  };
  settings.MajorVersion = value("MajorVersion").value_or(defaults.MajorVersion);
  settings.MinorVersion = value("MinorVersion").value_or(defaults.MinorVersion);
  settings.Build = value("Build").value_or(defaults.Build);
  settings.InstallationDate = value("InstallationDate").value_or(defaults.InstallationDate);
  TWinPassSettings& s = settings.Settings;
  s.HotkeyEnabled = Low16(value("HotkeyActivation"), 0);
  s.HotkeyCode = Low16(value("HotkeyValue"), 0);
  s.CopyChallengeFromClipboard = Low16(value("CopyChallangeFromClipboard"), 0);
  s.TopmostWindow = Low16(value("TopmostWindow"), 0);
  settings.SetCaptionHeight(Low16(value("CaptionHeight"), defaults.CaptionHeight));
  s.IconizeAfterUse = Low16(value("IconizeAfterUse"), 0);
  s.CopyToClipboard = Low16(value("CopyToClipboard"), 0);
  return settings;
}

TKorStoredValues StoredFromSettings(const TKorSettings& settings) {
  TKorStoredValues stored;
  stored.HasKey = stored.HasHotkeyKey = true;
  const TWinPassSettings& s = settings.Settings;
  stored.Dwords = {
      {"MajorVersion", settings.MajorVersion},
      {"MinorVersion", settings.MinorVersion},
      {"Build", settings.Build},
      {"InstallationDate", settings.InstallationDate},
      {"HotkeyActivation", s.HotkeyEnabled},
      {"HotkeyValue", s.HotkeyCode},
      {"CopyChallangeFromClipboard", s.CopyChallengeFromClipboard},
      {"TopmostWindow", s.TopmostWindow},
      {"CaptionHeight", settings.CaptionHeight},
      {"IconizeAfterUse", s.IconizeAfterUse},
      {"CopyToClipboard", s.CopyToClipboard},
  };
  return stored;
}

}  // namespace korvel
