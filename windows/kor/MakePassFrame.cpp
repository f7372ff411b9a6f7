#include "MakePassFrame.h"

#include <objbase.h>

#include <algorithm>

#include "CaptionFont.h"
#include "Clipboard.h"
#include "CodePage.h"
#include "ConfigDialog.h"
#include "KorHelp.h"
#include "RunningCopy.h"
#include "zorva.h"

namespace korvel {
namespace {

constexpr char kClassName[] = "KorvelMakePassFrame";
constexpr int kWidth = 300;  // at 96 DPI
constexpr int kComboId = 1;
constexpr int kComboEditId = 1001;
constexpr DWORD kStyle = WS_POPUP | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x808A0000

// The DPI of the screen. KOR is system-DPI-aware (its manifest): Windows
// gives it the DPI the session started with, the one GetDpiForWindow would
// answer for its windows, and sizes SM_CYCAPTION and the system fonts for it.
// The bar's own fixed sizes follow it. 96 when the screen does not say.
int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  if (!screen) return 96;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HICON LoadIconSized(HINSTANCE instance, int size) {
  return static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(IDI_KOR), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

// The folder of KOR.EXE, with its closing backslash; empty when Windows does
// not tell. In UTF-16: the ANSI call turns letters that the ANSI code page
// lacks into ?s or look-alikes (a Cyrillic folder name, a Polish one under a
// Western code page), which name no folder.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return L"";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return L"";  // no path is longer
    path.resize(path.size() * 2);          // cut short: try a longer buffer
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// A DLL of the system folder (never one of that name beside KOR.EXE); null
// when it cannot be loaded.
HMODULE SystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = L"";
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  return LoadLibraryW((std::wstring(folder, length) + L"\\" + name).c_str());
}

template <class Function>
Function LibraryFunction(HMODULE library, const char* name) {
  FARPROC function = library ? GetProcAddress(library, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(function));
}

// ShellExecuteW, which opens the HTML help, or null. shell32.dll and ole32.dll
// and the DLLs they bring are loaded here, at the first help, rather than with
// KOR.EXE: KOR's start does not wait for them. ShellExecute may hand the file
// to shell extensions that are COM objects, so the thread becomes a
// single-threaded apartment first, as Microsoft asks of its callers; it stays
// one until the program ends.
using TShellExecute = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
TShellExecute ShellExecuteFunction() {
  static const TShellExecute function = [] {
    using TCoInitializeEx = HRESULT(WINAPI*)(LPVOID, DWORD);
    if (const auto enter =
            LibraryFunction<TCoInitializeEx>(SystemLibrary(L"ole32.dll"), "CoInitializeEx"))
      enter(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    return LibraryFunction<TShellExecute>(SystemLibrary(L"shell32.dll"), "ShellExecuteW");
  }();
  return function;
}

// Shows help on a topic (kHelpContents: the contents) for an owner window:
// its page of the HTML help beside KOR.EXE, in the browser.
void ShowHelp(HWND owner, unsigned topic) {
  const std::wstring page = ProgramFolder() + Widen(HelpPage(topic), CP_ACP);
  const auto open = ShellExecuteFunction();
  INT_PTR opened = open ? reinterpret_cast<INT_PTR>(
                              open(owner, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL))
                        : 0;
  if (opened <= 32) {  // no browser, or the page is missing
    const std::wstring text = L"The help page " + page + L" cannot be opened.";
    MessageBoxW(owner, text.c_str(), L"Help", MB_OK | MB_ICONEXCLAMATION);
  }
}

// ZORVA.DLL is loaded at its first use, the first reply or Password Setup,
// not with KOR.EXE: the library's code and start-up are not part of KOR's
// start. It is loaded by its full path in KOR.EXE's folder, where it ships,
// never from the current folder or the search path. An export of the
// library, or null after telling the operator why; the next use tries again.
FARPROC ZorvaFunction(HWND owner, const char* name) {
  static HMODULE library = nullptr;
  if (!library) {
    if (const std::wstring folder = ProgramFolder(); !folder.empty())
      library = LoadLibraryW((folder + L"ZORVA.DLL").c_str());
  }
  FARPROC function = library ? GetProcAddress(library, name) : nullptr;
  if (!function) {
    const std::string text = std::string("ZORVA.DLL ") +
                             (library ? "has no " + std::string(name) : "cannot be loaded") +
                             ": it belongs beside KOR.EXE.";
    MessageBoxA(owner, text.c_str(), "ERROR", MB_OK | MB_ICONEXCLAMATION);
  }
  return function;
}

template <class Function>
Function ZorvaExport(HWND owner, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(ZorvaFunction(owner, name)));
}

}  // namespace

// ---- the challenge input ---------------------------------------------------

TComboEdit::TComboEdit(TMakePassFrame& frame, const TWinPassSettings& settings)
    : Frame(frame), Line(*this, settings, [this](const char* text, char* reply, unsigned length) {
        const auto answer = ZorvaExport<decltype(&ZORVAAutoClientPasswordReply)>(
            EditWindow, "ZORVAAutoClientPasswordReply");
        return answer ? answer(text, reply, length) : 0;
      }) {}

void TComboEdit::Create(HWND parent, int width, int height, HFONT font) {
  // Unsorted: the history keeps the order of insertion, newest first.
  ComboWindow = CreateWindowExA(
      0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, -1,
      -1, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kComboId)),
      GetModuleHandleA(nullptr), nullptr);
  // A child window outside a dialog starts in the System font, a bitmap font
  // that does not grow with the DPI. The combo box hands the font on to its
  // edit field and list and takes the field's height from it.
  if (font) SendMessageA(ComboWindow, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  // 255 with the terminating zero: at most 254 characters can be typed.
  SendMessageA(ComboWindow, CB_LIMITTEXT, 254, 0);
  EditWindow = GetDlgItem(ComboWindow, kComboEditId);
  if (!EditWindow) EditWindow = FindWindowExA(ComboWindow, nullptr, "EDIT", nullptr);
  SetWindowLongPtrA(EditWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  EditDefault = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
      EditWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TComboEdit::EditProc)));
}

LRESULT CALLBACK TComboEdit::EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TComboEdit*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (message == WM_CHAR && self->Line.EvInputChar(static_cast<unsigned>(wParam))) return 0;
  return CallWindowProcA(self->EditDefault, window, message, wParam, lParam);
}

void TComboEdit::SetText(const std::string& text) { SetWindowTextA(EditWindow, text.c_str()); }

std::string TComboEdit::InputText() {
  char buffer[TLineEdit::kBufferLength + 1] = "";
  GetWindowTextA(EditWindow, buffer, sizeof buffer);
  return buffer;
}

void TComboEdit::ClearInput() { SetWindowTextA(EditWindow, ""); }

void TComboEdit::ShowResult(const std::string& reply) {
  MessageBoxA(EditWindow, reply.c_str(), "Result", MB_OK);
}

void TComboEdit::ShowNoPasswordFound() {
  MessageBoxA(EditWindow, "No password found!", "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

void TComboEdit::CopyToClipboard(const std::string& text) {
  PutTextOnClipboard(text, EditWindow);  // a failure is not reported
}

void TComboEdit::InsertHistory(const std::string& challenge) {
  SendMessageA(ComboWindow, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(challenge.c_str()));
}

void TComboEdit::MinimizeMainWindow() { ShowWindow(Frame.Handle(), SW_MINIMIZE); }

// ---- the frame -------------------------------------------------------------

TMakePassFrame::TMakePassFrame(TKorSettings& settings, bool noSplash,
                               std::function<void()> saveSettings)
    : Settings(settings),
      NoSplash(noSplash),
      SaveSettings(std::move(saveSettings)),
      HotKey(settings.EffectiveHotKey()) {
  Input = std::make_unique<TComboEdit>(*this, Settings.Settings);
}

TMakePassFrame::~TMakePassFrame() {
  if (Window) DestroyWindow(Window);
  if (SmallIcon) DestroyIcon(SmallIcon);
  if (CaptionIcon) DestroyIcon(CaptionIcon);
  if (MessageFont) DeleteObject(MessageFont);
}

// The combo's height with its list dropped down.
int TMakePassFrame::ComboHeight() const { return 6 * (GetSystemMetrics(SM_CYCAPTION) + Scaled(2)); }

bool TMakePassFrame::Create(HINSTANCE instance, HICON icon) {
  Icon = icon;
  WNDCLASSA wc{};
  wc.lpfnWndProc = &TMakePassFrame::WindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);
  DWORD exStyle = WS_EX_WINDOWEDGE | (Settings.Settings.TopmostWindow ? WS_EX_TOPMOST : 0);
  Dpi = ScreenDpi();
  const int width = Scaled(kWidth);
  int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - ComboHeight()) / 2;
  Window = CreateWindowExA(exStyle, kClassName, kMainTitle, kStyle, x, y, width, 0, nullptr,
                           nullptr, instance, this);
  if (!Window) return false;
  // The icon's images come in the sizes Windows asks for from 100 % to 200 %:
  // each place gets the one made for its size rather than a stretched one.
  SmallIcon = LoadIconSized(instance, GetSystemMetrics(SM_CXSMICON));
  if (const int box = CaptionPixels() - 2 * Scaled(1); box > 0)
    CaptionIcon = LoadIconSized(instance, box);
  const LOGFONTW font = MessageLogFont();
  MessageFont = CreateFontIndirectW(&font);
  SetupWindow();
  return true;
}

void TMakePassFrame::SetupWindow() {
  Input->Create(Window, Scaled(kWidth), ComboHeight(), MessageFont);
  SendMessageA(Window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
  SendMessageA(Window, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(SmallIcon ? SmallIcon : Icon));

  HMENU menu = GetSystemMenu(Window, FALSE);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdConfigure, "Configure...");
  AppendMenuA(menu, MF_STRING, CmdPasswordSetup, "Password Setup...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdAbout, "About...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, CmdHelp, "Help");

  RECT window, combo;
  GetWindowRect(Window, &window);
  GetWindowRect(Input->Combo(), &combo);
  SetWindowPos(Window, nullptr, window.left, window.top, Width(window),
               Height(combo) + CaptionPixels(), SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);

  // The splash, while the window is complete but hidden. Closing, it hands
  // the activation to the window.
  if (!NoSplash) {
    TSplashDialog splash(TWindow{Window}, [this] { ShowAndActivate(); });
    splash.Execute();
  }
  ShowAndActivate();

  // A box about the hot key stands over the window and gives the activation
  // back to it when it closes.
  if (HotKey != 0) {
    LRESULT answer = SendMessageA(Window, WM_SETHOTKEY, HotKey, 0);
    if (const char* problem = HotKeyProblem(static_cast<long>(answer))) {
      MessageBeep(0xFFFFFFFF);
      MessageBoxA(Window, problem, "HOTKEY!", MB_OK);
    }
  }
}

// Windows lets a program set the foreground window while it is the
// foreground program itself, or when the foreground program started it (and
// in a few other cases). So the window is shown and activated while the
// splash, KOR's own window, is still the active one: destroyed first, the
// splash would let Windows pass the activation to another program's window,
// and Windows refuses to give it back once the operator has given input to
// another program. Where the operator has moved to another program during
// the splash, the window shows without taking their typing, and Windows
// flashes its taskbar button.
void TMakePassFrame::ShowAndActivate() {
  if (Shown) return;
  Shown = true;
  EnableWindow(Window, TRUE);  // disabled while the splash runs: it is the splash's owner
  ShowWindow(Window, SW_SHOWNORMAL);
  UpdateWindow(Window);
  SetForegroundWindow(Window);
  SetFocus(Input->Edit());  // the operator's typing goes to the input
}

// A second start of KOR has handed this process the right to the foreground
// and asks the window forward: in its normal state, in front, with the focus
// in the input, or the dialog or box that stands over it in front. During
// the splash the splash comes forward, and the window stays hidden.
LRESULT TMakePassFrame::BringForward() {
  if (Shown) ShowWindow(Window, SW_SHOWNORMAL);
  SetForegroundWindow(GetLastActivePopup(Window));
  return kBroughtForward;
}

LRESULT CALLBACK TMakePassFrame::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<TMakePassFrame*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    self->Window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TMakePassFrame*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self) return DefWindowProcA(window, message, wParam, lParam);
  return self->Dispatch(message, wParam, lParam);
}

LRESULT TMakePassFrame::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == BringForwardMessage()) return BringForward();
  switch (message) {
    case WM_SYSCOMMAND: EvSysCommand(wParam, lParam); return 0;
    case WM_ENTERIDLE: EvMenuIdle(wParam); return DefWindowProcA(Window, message, wParam, lParam);
    case WM_COMMAND:
      if (LOWORD(wParam) == kCmExit && lParam == 0) {
        PostMessageA(Window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_SETFOCUS: SetFocus(Input->Edit()); return 0;
    case WM_NCCALCSIZE: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      RECT* client = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                            : reinterpret_cast<RECT*>(lParam);
      client->top += CaptionPixels();
      if (client->bottom < client->top) client->bottom = client->top;
      return result;
    }
    case WM_NCPAINT:
    case WM_NCACTIVATE: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      PaintCaption();
      return message == WM_NCACTIVATE ? TRUE : result;
    }
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(Window, message, wParam, lParam);
      PaintCaption();
      return result;
    }
    case WM_NCHITTEST: {
      POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT window;
      GetWindowRect(Window, &window);
      p.x -= window.left;
      p.y -= window.top;
      RECT caption = CaptionRect();
      if (PtInRect(&caption, p)) {
        RECT menu = SysMenuBox(), minimize = MinimizeBox();
        if (PtInRect(&menu, p)) return HTSYSMENU;
        if (PtInRect(&minimize, p)) return HTMINBUTTON;
        return HTCAPTION;  // dragging the caption moves the window
      }
      break;
    }
    case WM_NCLBUTTONDOWN:
      if (wParam == HTMINBUTTON) {
        PostMessageA(Window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
      }
      break;
    case WM_ENDSESSION:
      // Windows ends the session: the process ends after this message without
      // the message loop's normal end, where the settings would be saved.
      if (wParam && SaveSettings) SaveSettings();
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_NCDESTROY: {
      HWND window = Window;
      Window = nullptr;  // gone: the destructor has nothing left to destroy
      return DefWindowProcA(window, message, wParam, lParam);
    }
    default: break;
  }
  return DefWindowProcA(Window, message, wParam, lParam);
}

void TMakePassFrame::EvSysCommand(WPARAM command, LPARAM point) {
  // The command is compared whole: its low four bits are not masked off.
  switch (command) {
    case CmdConfigure: CmConfigure(); break;
    case CmdPasswordSetup: CmPasswordSetup(); break;
    case CmdAbout: CmAbout(); break;
    case CmdHelp: CmHelp(); break;
    case SC_MAXIMIZE: return;  // never maximized
    case SC_RESTORE:
      if (Settings.Settings.CopyChallengeFromClipboard != 0) PasteChallenge();
      break;
    default: break;
  }
  DefWindowProcA(Window, WM_SYSCOMMAND, command, point);
}

void TMakePassFrame::EvMenuIdle(WPARAM source) {
  if (source == MSGF_MENU && (GetKeyState(VK_F1) & 0x8000)) {
    HelpOnMenu = true;
    PostMessageA(Window, WM_KEYDOWN, VK_RETURN, 0);  // chooses the highlighted item
  }
}

bool TMakePassFrame::HelpTopic(DWORD topic) {
  if (!HelpOnMenu) return false;
  HelpOnMenu = false;
  ShowHelp(Window, topic);
  return true;
}

void TMakePassFrame::CmConfigure() {
  if (HelpTopic(kHelpConfigure)) return;
  // On OK the dialog has written the operator's choices into the record; they
  // take effect as the settings say (some at once, some at the next start).
  TConfigDialog dialog(TWindow{Window}, Settings, [](void* owner, unsigned topic) {
    ShowHelp(static_cast<HWND>(owner), topic);
  });
  dialog.Execute();
}

void TMakePassFrame::CmPasswordSetup() {
  if (HelpTopic(kHelpPasswordSetup)) return;
  if (const auto edit = ZorvaExport<decltype(&ZORVAEditClientPasswordsDlg)>(
          Window, "ZORVAEditClientPasswordsDlg"))
    edit(Window);
}

void TMakePassFrame::CmAbout() {
  if (HelpTopic(kHelpAbout)) return;
  TDialog about(TWindow{Window}, kAboutResource);
  about.Execute();
}

void TMakePassFrame::CmHelp() { ShowHelp(Window, kHelpContents); }

void TMakePassFrame::PasteChallenge() {
  // No more than the input reads: setting a window's text bypasses its limit.
  if (auto text = ClipboardText(Window, TLineEdit::kBufferLength)) Input->SetText(*text);
}

// ---- the tiny caption ------------------------------------------------------

int TMakePassFrame::CaptionPixels() const {
  return GetSystemMetrics(SM_CYCAPTION) * Settings.CaptionHeight / 100;
}

RECT TMakePassFrame::CaptionRect() const {
  RECT window;
  GetWindowRect(Window, &window);
  int border = GetSystemMetrics(SM_CXBORDER);
  return RECT{border, border, Width(window) - border, border + CaptionPixels()};
}

RECT TMakePassFrame::SysMenuBox() const {
  RECT c = CaptionRect();
  return RECT{c.left, c.top, c.left + Height(c), c.bottom};
}

RECT TMakePassFrame::MinimizeBox() const {
  RECT c = CaptionRect();
  return RECT{c.right - Height(c), c.top, c.right, c.bottom};
}

void TMakePassFrame::PaintCaption() {
  HDC dc = GetWindowDC(Window);
  if (!dc) return;
  bool active = GetActiveWindow() == Window;
  RECT caption = CaptionRect();
  FillRect(dc, &caption, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));

  RECT menu = SysMenuBox();
  InflateRect(&menu, -Scaled(1), -Scaled(1));
  if (HICON icon = CaptionIcon ? CaptionIcon : Icon)
    DrawIconEx(dc, menu.left, menu.top, icon, Width(menu), Height(menu), 0, nullptr, DI_NORMAL);
  RECT minimize = MinimizeBox();
  InflateRect(&minimize, -Scaled(1), -Scaled(1));
  // A push-button face with a bar at its foot, drawn here rather than taken
  // from the caption-button font, which not every system has.
  DrawFrameControl(dc, &minimize, DFC_BUTTON, DFCS_BUTTONPUSH);
  int bar = (std::max)(1, Height(minimize) / 8);
  RECT glyph{minimize.left + Width(minimize) / 4, minimize.bottom - 2 * bar - Height(minimize) / 6,
             minimize.right - Width(minimize) / 4, minimize.bottom - bar - Height(minimize) / 6};
  FillRect(dc, &glyph, GetSysColorBrush(COLOR_BTNTEXT));

  char title[128];
  GetWindowTextA(Window, title, sizeof title);
  const LOGFONTA logFont = CaptionLogFont(Height(caption) - Scaled(2));
  HFONT font = CreateFontIndirectA(&logFont);
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
  RECT text{menu.right + Scaled(4), caption.top, minimize.left - Scaled(2), caption.bottom};
  DrawTextA(dc, title, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  SelectObject(dc, old);
  DeleteObject(font);
  ReleaseDC(Window, dc);
}

}  // namespace korvel
