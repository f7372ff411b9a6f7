// The Win32 platform: dialogs from resource templates with DialogBoxParamA,
// control objects bound to the real child windows, MessageBoxA.
#include <windows.h>
#include <commctrl.h>

#include "Dialog.h"
#include "Win32Dialogs.h"

namespace korvel {
namespace {

class TWin32Dialog final : public TDialogBackend {
 public:
  explicit TWin32Dialog(HWND window) : Window(window) {}

  void* Handle() override { return Window; }
  HWND Item(int id) { return id == 0 ? Window : GetDlgItem(Window, id); }

  std::string GetText(int id) override {
    HWND item = Item(id);
    int length = GetWindowTextLengthA(item);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    int got = GetWindowTextA(item, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
  }
  void SetText(int id, std::string_view text) override {
    SetWindowTextA(Item(id), std::string(text).c_str());
  }
  void SetTextLimit(int id, unsigned limit) override {
    SendMessageA(Item(id), EM_LIMITTEXT, limit, 0);
  }
  void Enable(int id, bool enable) override { EnableWindow(Item(id), enable); }
  bool IsEnabled(int id) override { return IsWindowEnabled(Item(id)); }
  int GetCheck(int id) override {
    return static_cast<int>(SendMessageA(Item(id), BM_GETCHECK, 0, 0));
  }
  void SetCheck(int id, int state) override {
    SendMessageA(Item(id), BM_SETCHECK, static_cast<WPARAM>(state), 0);
  }
  int ListCount(int id) override {
    return static_cast<int>(SendMessageA(Item(id), LB_GETCOUNT, 0, 0));
  }
  std::string ListText(int id, int index) override {
    LRESULT length = SendMessageA(Item(id), LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(Item(id), LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
  }
  void ListInsert(int id, std::string_view text, int index) override {
    std::string t(text);
    SendMessageA(Item(id), LB_INSERTSTRING, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(t.c_str()));
  }
  void ListDelete(int id, int index) override {
    SendMessageA(Item(id), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
  }
  int ListSelection(int id) override {
    LRESULT sel = SendMessageA(Item(id), LB_GETCURSEL, 0, 0);
    return sel == LB_ERR ? -1 : static_cast<int>(sel);
  }
  void ListSelect(int id, int index) override {
    SendMessageA(Item(id), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  }
  void CreateTooltip() override {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    Tooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Window, nullptr, nullptr,
                              nullptr);
  }
  void EndDialog(int code) override { ::EndDialog(Window, code); }
  uint16_t GetHotKey(int id) override {
    return static_cast<uint16_t>(SendMessageA(Item(id), HKM_GETHOTKEY, 0, 0));
  }
  void SetHotKey(int id, uint16_t code) override { SendMessageA(Item(id), HKM_SETHOTKEY, code, 0); }
  void SetDigitsOnly(int id) override {
    HWND edit = Item(id);
    SetWindowLongA(edit, GWL_STYLE, GetWindowLongA(edit, GWL_STYLE) | ES_NUMBER);
  }
  void SetFocus(int id) override { ::SetFocus(Item(id)); }
  void StartTimer(unsigned id, unsigned milliseconds) override {
    SetTimer(Window, id, milliseconds, nullptr);
  }
  void StopTimer(unsigned id) override { KillTimer(Window, id); }
  void PostClose() override { PostMessageA(Window, WM_CLOSE, 0, 0); }
  // Half the desktop's size minus half the window's, each halved as a signed
  // division that truncates toward zero.
  void CenterOnScreen() override {
    RECT desktop, window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(Window, &window);
    int x = (desktop.right - desktop.left) / 2 - (window.right - window.left) / 2;
    int y = (desktop.bottom - desktop.top) / 2 - (window.bottom - window.top) / 2;
    SetWindowPos(Window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }

 private:
  HWND Window;
  HWND Tooltip = nullptr;  // a child of the dialog: it goes with it
};

// The hot-key control lives in the common controls.
void InitCommonControlsOnce() {
  static bool done = [] {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_HOTKEY_CLASS};
    return InitCommonControlsEx(&init) != FALSE;
  }();
  (void)done;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* dialog = reinterpret_cast<TDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      dialog = reinterpret_cast<TDialog*>(lParam);
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      dialog->Attach(std::make_unique<TWin32Dialog>(window));
      dialog->SetupWindow();
      return TRUE;
    case WM_COMMAND:
      if (!dialog || !dialog->Running()) return FALSE;
      dialog->EvCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_TIMER:
      if (!dialog || !dialog->Running()) return FALSE;
      dialog->EvTimer(static_cast<unsigned>(wParam));
      return TRUE;
    case WM_CLOSE:
      if (!dialog || !dialog->Running()) return FALSE;
      dialog->EvCommand(IDCANCEL, 0);
      return TRUE;
    case WM_NCDESTROY:
      if (dialog) dialog->Detach();
      return FALSE;
    default: return FALSE;
  }
}

class TWin32Platform final : public TPlatform {
 public:
  int RunModal(TDialog& dialog) override {
    InitCommonControlsOnce();
    const TModule* module = dialog.GetModule();
    // Without a module of its own a dialog comes from the program's resources;
    // its controls load their images from there too.
    HINSTANCE instance = module && module->Instance ? static_cast<HINSTANCE>(module->Instance)
                                                    : GetModuleHandleA(nullptr);
    const TResId& id = dialog.GetResource();
    LPCSTR resource = id.Name.empty() ? MAKEINTRESOURCEA(id.Number) : id.Name.c_str();
    INT_PTR result =
        DialogBoxParamA(instance, resource, static_cast<HWND>(dialog.GetParent().Handle),
                        DialogProc, reinterpret_cast<LPARAM>(&dialog));
    dialog.Detach();
    return static_cast<int>(result);
  }

  int ShowMessageBox(void* owner, std::string_view text, std::string_view caption,
                     unsigned flags) override {
    return ::MessageBoxA(static_cast<HWND>(owner), std::string(text).c_str(),
                         std::string(caption).c_str(), flags);
  }
};

}  // namespace

void UseWin32Dialogs() {
  static const bool installed = (SetPlatform(std::make_shared<TWin32Platform>()), true);
  (void)installed;
}

}  // namespace korvel
