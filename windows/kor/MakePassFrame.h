// KOR's main window: a floating bar with a reduced-height caption of its own
// drawing and one child, the challenge input (a drop-down combo box).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "KorResources.h"
#include "ReplyFlow.h"
#include "WinPassSettings.h"

namespace korvel {

inline constexpr char kMainTitle[] = "Korvel for Win32 3.0";

// Window-menu commands.
enum : UINT {
  CmdConfigure = IDM_CONFIGURE,
  CmdPasswordSetup = IDM_PASSWORDSETUP,
  CmdAbout = IDM_ABOUT,
  CmdHelp = IDM_HELP,
};
inline constexpr UINT kCmExit = CM_EXIT;  // the exit command of the accelerators "x" and "X"

class TMakePassFrame;

// The combo box and its edit field, and what the reply flow needs of them.
class TComboEdit final : public TInputView {
 public:
  TComboEdit(TMakePassFrame& frame, const TWinPassSettings& settings);
  // The combo box, in `font`, which the caller keeps while the window lives.
  void Create(HWND parent, int width, int height, HFONT font);
  HWND Combo() const { return ComboWindow; }
  HWND Edit() const { return EditWindow; }
  void SetText(const std::string& text);

  std::string InputText() override;
  void ClearInput() override;
  void ShowResult(const std::string& reply) override;
  void ShowNoPasswordFound() override;
  void CopyToClipboard(const std::string& text) override;
  void InsertHistory(const std::string& challenge) override;
  void MinimizeMainWindow() override;

 private:
  static LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  TMakePassFrame& Frame;
  TLineEdit Line;
  HWND ComboWindow = nullptr;
  HWND EditWindow = nullptr;
  WNDPROC EditDefault = nullptr;
};

class TMakePassFrame {
 public:
  // `saveSettings` writes the settings where the program keeps them; the
  // frame calls it when Windows ends the session with KOR still open.
  TMakePassFrame(TKorSettings& settings, bool noSplash, std::function<void()> saveSettings = {});
  ~TMakePassFrame();
  // Creates the window, sets it up (input, menu items, height), shows the
  // splash, shows the window and assigns the hot key.
  bool Create(HINSTANCE instance, HICON icon);
  HWND Handle() const { return Window; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void SetupWindow();
  void ShowAndActivate();
  LRESULT BringForward();
  void EvSysCommand(WPARAM command, LPARAM point);
  void EvMenuIdle(WPARAM source);
  void CmConfigure();
  void CmPasswordSetup();
  void CmAbout();
  void CmHelp();
  void PasteChallenge();
  bool HelpTopic(DWORD topic);  // when F1 asked for help on the item

  // Pixels at 96 DPI (100 %) in pixels at the DPI KOR runs at.
  int Scaled(int pixels) const { return MulDiv(pixels, Dpi, 96); }
  int ComboHeight() const;

  // The tiny caption, drawn in the non-client area.
  int CaptionPixels() const;
  RECT CaptionRect() const;  // in window coordinates
  RECT SysMenuBox() const;
  RECT MinimizeBox() const;
  void PaintCaption();

  TKorSettings& Settings;
  bool NoSplash;
  std::function<void()> SaveSettings;
  uint16_t HotKey;
  bool HelpOnMenu = false;
  bool Shown = false;
  std::unique_ptr<TComboEdit> Input;
  HWND Window = nullptr;
  int Dpi = 96;
  HICON Icon = nullptr;         // SM_CXICON's size
  HICON SmallIcon = nullptr;    // SM_CXSMICON's size
  HICON CaptionIcon = nullptr;  // the size of the caption's system-menu box
  HFONT MessageFont = nullptr;
};

}  // namespace korvel
