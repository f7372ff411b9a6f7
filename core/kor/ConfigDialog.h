// KOR's configuration dialog, splash window and About box.
#pragma once

#include <functional>

#include "WinPassSettings.h"
#include "Dialog.h"
#include "KorResources.h"

namespace korvel {

// Opens a topic of the help file for an owner window.
using THelpRequest = std::function<void(void* owner, unsigned topic)>;

// Edits the settings record in place: OK transfers every control into it, in
// the record's field order; Cancel, Esc and the close box transfer nothing.
class TConfigDialog : public TDialog {
 public:
  enum : int {
    IdEnableHotkey = IDC_CONFIG_ENABLEHOTKEY,
    IdHotKey = IDC_CONFIG_HOTKEY,
    IdCopyChallenge = IDC_CONFIG_COPYCHALLENGE,
    IdTopmost = IDC_CONFIG_TOPMOST,
    IdCaptionHeight = IDC_CONFIG_CAPTIONHEIGHT,
    IdIconize = IDC_CONFIG_ICONIZE,
    IdCopyToClipboard = IDC_CONFIG_COPYTOCLIPBOARD,
    IdHelp = IDC_CONFIG_HELP,
  };
  static constexpr int kResource = IDD_CONFIG;

  TConfigDialog(TWindow parent, TKorSettings& settings, THelpRequest help,
                const TModule* module = nullptr);
  void SetupWindow() override;
  void EvCommand(int id, int notifyCode) override;
  void CmOk() override;
  // The hot-key control and "Copy Challenge from Clipboard" follow "Enable Hotkey".
  void UpdateHotKeyControls();

 private:
  TKorSettings& Settings;
  THelpRequest Help;
  // Created in the order of the settings record's fields: they transfer so.
  TCheckBox EnableHotkey{*this, IdEnableHotkey};
  THotKey HotKey{*this, IdHotKey};
  TCheckBox CopyChallenge{*this, IdCopyChallenge};
  TCheckBox Topmost{*this, IdTopmost};
  TEdit CaptionHeight{*this, IdCaptionHeight, 3};
  TCheckBox Iconize{*this, IdIconize};
  TCheckBox CopyToClipboard{*this, IdCopyToClipboard};
};

// Shown at start for five seconds (timer 1), centred on the screen; Esc and
// Enter close it at once. `closing` runs once as it closes, every way it
// does, while it is still open: the main window takes the activation over
// from it then, as a window may from the active window of its own program
// (once the splash is gone, Windows may have given it to another program).
class TSplashDialog : public TDialog {
 public:
  static constexpr int kResource = IDD_SPLASH;
  explicit TSplashDialog(TWindow parent, std::function<void()> closing = {},
                         const TModule* module = nullptr)
      : TDialog(parent, kResource, module), Closing(std::move(closing)) {}
  void SetupWindow() override;
  void EvTimer(unsigned id) override;
  void CmOk() override { Close(kIdOk); }
  void CmCancel() override { Close(kIdCancel); }

 private:
  void Close(int code);
  std::function<void()> Closing;
};

// The About box: a plain dialog.
inline constexpr int kAboutResource = IDD_ABOUT;

}  // namespace korvel
