// Playing the operator on real Win32 dialogs from a second thread: finding
// windows by title, reading and clicking controls, answering message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace korvel::test {

// The first visible top-level dialog window with this title other than
// `except`; waits up to ten seconds.
HWND WaitForDialog(const std::string& title, HWND except = nullptr);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
// The texts of a message box's static controls, joined by "|".
std::string StaticTexts(HWND dialog);
// Posts a click, so a modal box that it opens does not block the caller.
void Click(HWND dialog, int id);
// Clicks and returns when the dialog has handled it (for clicks that open nothing).
void ClickNow(HWND dialog, int id);
void SetItemText(HWND dialog, int id, const std::string& text);
// Selects a line as the operator does; `wait` returns when it was handled.
void SelectLine(HWND dialog, int listId, int index, bool wait = true);
std::vector<std::string> ListLines(HWND dialog, int listId);
// A dialog template as the resource holds it (DIALOG, not DIALOGEX).
struct TItem {
  unsigned Style;
  int X, Y, W, H;
  int Id;
  unsigned Class;  // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box; 0 another
  std::string ClassName;
  std::string Text;  // "#n" for a resource number
};
struct TTemplate {
  unsigned Style;
  int X, Y, W, H;
  std::string Title, Font;
  int PointSize = 0;
  std::vector<TItem> Items;
};
TTemplate ReadTemplate(HMODULE module, LPCSTR name);

// What the operator needs of a dialog resource.
enum class TKind {
  Label,
  Edit,
  ListBox,
  HotKey,
  PushButton,
  DefaultButton,
  CheckBox,
  RadioButton,
  Picture,
  Icon
};
struct TWantControl {
  int Id;  // IDC_STATIC (-1): the control with this text
  TKind Kind;
  std::string Text;        // "#n" for a resource number
  std::string Label = {};  // a field's label: the control just before it, whose mnemonic reaches it
};
struct TWantDialog {
  LPCSTR Resource;
  std::string Title;
  unsigned Frame;  // the template's bits of WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP
  std::vector<TWantControl> Controls;
  std::vector<int> TabOrder;  // the ids of the WS_TABSTOP controls, in order
};
// What is wrong with the dialog resource, one line per fault; empty when
// nothing is. Beyond the wanted controls, texts, kinds, labels and tab
// order: every control is visible and lies inside the dialog, no two
// overlap (a group box or etched frame may hold controls, wholly; a left-
// aligned label's text may end before its rectangle), and the radio buttons
// form one group and stand inside a group box.
std::vector<std::string> DialogProblems(HMODULE module, const TWantDialog& want);

// Waits until the window is closed (up to ten seconds).
bool WaitGone(HWND window);

}  // namespace korvel::test
