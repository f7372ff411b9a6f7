// Our small stand-in for the application framework the dialogs are built on:
// modules, windows, dialogs run modally from resource templates, control
// objects, message boxes and input boxes. Dialog logic talks only to these;
// a platform behind them does the work: Win32 (real controls from the
// resource) or headless (controls held in memory, answers from a script).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace korvel {

// Message-box flags and results, numbered as Win32 numbers them.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNoCancel = 0x3;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconQuestion = 0x20;
inline constexpr unsigned kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// Control notifications, numbered as Win32 numbers them.
inline constexpr int kBnClicked = 0;
inline constexpr int kEnChange = 0x300;
inline constexpr int kLbnSelChange = 1;

// A module whose resources the dialogs are made from.
struct TModule {
  std::string Name;
  void* Instance = nullptr;  // HINSTANCE on Windows
};

// A window that owns dialogs and message boxes; it may wrap a foreign handle.
struct TWindow {
  void* Handle = nullptr;  // HWND on Windows
};

// A resource id: a number or a name.
struct TResId {
  TResId(int number) : Number(number) {}
  TResId(const char* name) : Name(name) {}
  int Number = 0;
  std::string Name;
};

class TDialog;

enum class TControlKind { Edit, Button, CheckBox, RadioButton, ListBox };

// What a running dialog's controls are made of.
class TDialogBackend {
 public:
  virtual ~TDialogBackend() = default;
  virtual void* Handle() = 0;
  // Tells the backend what kind of control an id is; radio buttons of one
  // group share `group`. Real controls know this from the resource.
  virtual void Declare(int /*id*/, TControlKind /*kind*/, int /*group*/ = 0) {}
  virtual std::string GetText(int id) = 0;
  virtual void SetText(int id, std::string_view text) = 0;
  virtual void SetTextLimit(int id, unsigned limit) = 0;
  virtual void Enable(int id, bool enable) = 0;
  virtual bool IsEnabled(int id) = 0;
  virtual int GetCheck(int id) = 0;
  virtual void SetCheck(int id, int state) = 0;
  virtual int ListCount(int id) = 0;
  virtual std::string ListText(int id, int index) = 0;
  virtual void ListInsert(int id, std::string_view text, int index) = 0;  // -1: at the end
  virtual void ListDelete(int id, int index) = 0;
  virtual int ListSelection(int id) = 0;  // -1: none
  virtual void ListSelect(int id, int index) = 0;
  virtual void CreateTooltip() = 0;
  virtual void EndDialog(int code) = 0;
  // The platform's hot-key control: virtual key low byte, modifiers high byte.
  virtual uint16_t GetHotKey(int id) = 0;
  virtual void SetHotKey(int id, uint16_t code) = 0;
  // An edit that admits only digits while typing.
  virtual void SetDigitsOnly(int id) = 0;
  virtual void SetFocus(int id) = 0;
  virtual void StartTimer(unsigned id, unsigned milliseconds) = 0;
  virtual void StopTimer(unsigned id) = 0;
  // Asks the dialog to close, as its close box does (after the current message).
  virtual void PostClose() = 0;
  virtual void CenterOnScreen() = 0;
};

class TPlatform {
 public:
  virtual ~TPlatform() = default;
  // Runs the dialog modally from its resource; returns the code it ended with.
  virtual int RunModal(TDialog& dialog) = 0;
  // Shows a modal message box; returns the button chosen (kIdOk, kIdYes, ...).
  virtual int ShowMessageBox(void* owner, std::string_view text, std::string_view caption,
                             unsigned flags) = 0;
};

// The platform this process runs dialogs on. Until one is installed (the
// Windows programs install the Win32 one, tests the headless one), dialogs
// end at once as if cancelled.
TPlatform& Platform();
void SetPlatform(std::shared_ptr<TPlatform> platform);

}  // namespace korvel
