// KOR's desktop settings and their place in the store, under
// HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\KOR\CurrentVersion and its "Hotkey" key.
#pragma once

#include <cstdint>
#include <string>

#include "RegKey.h"

namespace korvel {

inline constexpr char kKorKeyPath[] = "SOFTWARE\\Calvek\\KOR\\CurrentVersion";
inline constexpr char kHotkeyKey[] = "Hotkey";

// The configuration dialog transfers its controls into this record field by
// field, in this order.
struct TWinPassSettings {
  uint16_t HotkeyEnabled = 0;
  uint16_t HotkeyCode = 0;  // virtual key in the low byte, modifiers in the high byte
  uint16_t CopyChallengeFromClipboard = 0;
  uint16_t TopmostWindow = 0;
  char CaptionHeightText[3] = "52";  // at most two digits
  uint16_t IconizeAfterUse = 0;
  uint16_t CopyToClipboard = 0;

  friend bool operator==(const TWinPassSettings&, const TWinPassSettings&) = default;
};

// Everything the application object loads at start and saves at exit.
struct TKorSettings {
  uint16_t CaptionHeight = 52;  // percent of the standard caption height
  TWinPassSettings Settings;
  uint32_t MajorVersion = 3;
  uint32_t MinorVersion = 0;
  uint32_t Build = 1;
  uint32_t InstallationDate = 0;
  std::string HelpFile = "KOR.HLP";  // at most 259 characters

  // The hot key the main window registers: the stored code when enabled.
  uint16_t EffectiveHotKey() const {
    return Settings.HotkeyEnabled ? Settings.HotkeyCode : 0;
  }
  // Sets the caption height and its two-character text. A height of 100 or
  // more shows as its first two digits, so that the configuration dialog's
  // range check refuses it unless the operator enters a valid one.
  void SetCaptionHeight(uint16_t height);
};

// The message for the platform's answer to assigning the hot key
// (WM_SETHOTKEY), or null when there is nothing to say: 1 assigned, 2 assigned
// though another window has the same key, 0 invalid window, -1 invalid key.
const char* HotKeyProblem(long answer);

// Reads the settings; whatever is missing takes its default. Without the
// "Hotkey" key every setting takes its default, "HelpFilename" excepted.
void LoadKorSettings(TRegKey& machine, TKorSettings& settings);
// Writes every value but "HelpFilename", creating the keys when missing.
// False when something could not be written.
bool SaveKorSettings(TRegKey& machine, const TKorSettings& settings);

}  // namespace korvel
