#include "ConfigDialog.h"

#include <utility>

#include "Decimal.h"
#include "KorHelp.h"

namespace korvel {

TConfigDialog::TConfigDialog(TWindow parent, TKorSettings& settings, THelpRequest help,
                             const TModule* module)
    : TDialog(parent, kResource, module), Settings(settings), Help(std::move(help)) {
  Caption = "KOR Configuration";  // the range message's caption
  CaptionHeight.SetValidator(std::make_unique<TRangeValidator>(30, 128));
  TWinPassSettings& s = Settings.Settings;
  SetTransfer(EnableHotkey, &s.HotkeyEnabled);
  SetTransfer(HotKey, &s.HotkeyCode);
  SetTransfer(CopyChallenge, &s.CopyChallengeFromClipboard);
  SetTransfer(Topmost, &s.TopmostWindow);
  SetTransfer(CaptionHeight, s.CaptionHeightText);
  SetTransfer(Iconize, &s.IconizeAfterUse);
  SetTransfer(CopyToClipboard, &s.CopyToClipboard);
}

void TConfigDialog::SetupWindow() {
  TDialog::SetupWindow();  // transfers the record into the controls
  UpdateHotKeyControls();
}

void TConfigDialog::UpdateHotKeyControls() {
  bool enabled = EnableHotkey.GetCheck() == 1;
  HotKey.EnableWindow(enabled);
  CopyChallenge.EnableWindow(enabled);  // values stay, and transfer also while disabled
}

void TConfigDialog::EvCommand(int id, int notifyCode) {
  if (id == IdHelp) {
    if (Help) Help(Backend().Handle(), kHelpConfigure);  // the dialog stays open
    return;
  }
  if (id == IdEnableHotkey && notifyCode == kBnClicked) {
    UpdateHotKeyControls();
    return;
  }
  TDialog::EvCommand(id, notifyCode);
}

void TConfigDialog::CmOk() {
  if (!CanClose()) return;  // the range message was shown; the dialog stays open
  TransferData(TTransferDirection::GetData);
  // The height stored at exit is the one confirmed here.
  // Its leading digits, modulo 2^16.
  Settings.CaptionHeight =
      static_cast<uint16_t>(ReadDecimal(Settings.Settings.CaptionHeightText).Value);
  CloseWindow(kIdOk);
}

void TSplashDialog::SetupWindow() {
  TDialog::SetupWindow();
  Backend().StartTimer(1, 5000);
  Backend().CenterOnScreen();
}

void TSplashDialog::EvTimer(unsigned) {
  Backend().StopTimer(1);
  Backend().PostClose();
}

void TSplashDialog::Close(int code) {
  if (auto closing = std::exchange(Closing, nullptr)) closing();
  CloseWindow(code);
}

}  // namespace korvel
