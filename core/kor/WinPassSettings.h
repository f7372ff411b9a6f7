// KOR's desktop settings, the store seam for them, and their place in a
// store: under HKEY_LOCAL_MACHINE\SOFTWARE\Calvek\KOR\CurrentVersion and its
// "Hotkey" key.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

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
  // The WinHelp file that older KORs showed; read from the store as those
  // kept it, not used since KOR shows the HTML help (KorHelp.h).
  std::string HelpFile = "KOR.HLP";  // at most 259 characters

  // The hot key the main window registers: the stored code when enabled.
  uint16_t EffectiveHotKey() const { return Settings.HotkeyEnabled ? Settings.HotkeyCode : 0; }
  // Sets the caption height and its two-character text. A height of 100 or
  // more shows as its first two digits, so that the configuration dialog's
  // range check refuses it unless the operator enters a valid one.
  void SetCaptionHeight(uint16_t height);
};

// The message for the platform's answer to assigning the hot key
// (WM_SETHOTKEY), or null when there is nothing to say: 1 assigned, 2 assigned
// though another window has the same key, 0 invalid window, -1 invalid key.
const char* HotKeyProblem(long answer);

// Where KOR keeps its settings: loaded at start, saved at every normal end.
class TKorSettingsStore {
 public:
  virtual ~TKorSettingsStore() = default;
  // Reads the settings; whatever is missing or unreadable takes its default.
  virtual void Load(TKorSettings& settings) = 0;
  // Writes every value but "HelpFilename", making the keys when missing.
  // False when something could not be written.
  virtual bool Save(const TKorSettings& settings) = 0;
};

// ---- how a store keeps them ------------------------------------------------

// One DWORD value of the settings: in KOR's key or in its "Hotkey" key.
struct TKorValueName {
  bool InHotkeyKey;
  const char* Name;
};
inline constexpr TKorValueName kKorDwordValues[] = {
    {false, "MajorVersion"},
    {false, "MinorVersion"},
    {false, "Build"},
    {false, "InstallationDate"},
    {true, "HotkeyActivation"},
    {true, "HotkeyValue"},
    {false, "CopyChallangeFromClipboard"},
    {false, "TopmostWindow"},
    {false, "CaptionHeight"},
    {false, "IconizeAfterUse"},
    {false, "CopyToClipboard"},
};
inline constexpr char kHelpFileValue[] = "HelpFilename";
inline constexpr std::size_t kHelpFileLimit = 259;

// The settings as a store holds them: which keys exist, the DWORD values
// found (by their names in kKorDwordValues) and the help file's name.
struct TKorStoredValues {
  bool HasKey = false;
  bool HasHotkeyKey = false;
  std::map<std::string, uint32_t> Dwords;
  std::optional<std::string> HelpFilename;
};

// The settings a store's values give. Without the "Hotkey" key every
// setting takes its default, "HelpFilename" excepted.
TKorSettings SettingsFromStored(const TKorStoredValues& stored);
// The values a save writes: every DWORD value, no help file name.
TKorStoredValues StoredFromSettings(const TKorSettings& settings);

}  // namespace korvel
