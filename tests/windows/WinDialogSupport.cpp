#include "WinDialogSupport.h"

#include <cstring>

namespace korvel::test {

namespace {
class TReader {
 public:
  explicit TReader(const BYTE* p) : P(p) {}
  WORD Word() {
    WORD w;
    std::memcpy(&w, P, 2);
    P += 2;
    return w;
  }
  DWORD Dword() {
    DWORD d;
    std::memcpy(&d, P, 4);
    P += 4;
    return d;
  }
  short Short() { return static_cast<short>(Word()); }
  std::string Wide() {
    std::string s;
    for (WORD c; (c = Word()) != 0;) s.push_back(static_cast<char>(c));
    return s;
  }
  // A name or an ordinal; an ordinal comes back as "#n".
  std::string NameOrOrdinal() {
    WORD first;
    std::memcpy(&first, P, 2);
    if (first == 0) {
      P += 2;
      return "";
    }
    if (first == 0xFFFF) {
      P += 2;
      return "#" + std::to_string(Word());
    }
    return Wide();
  }
  void Align(const BYTE* base) {
    while ((P - base) % 4 != 0) ++P;
  }
  const BYTE* P;
};

}  // namespace

TTemplate ReadTemplate(HMODULE module, LPCSTR name) {
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (!found) return {};
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  TReader r(base);
  TTemplate t;
  t.Style = r.Dword();
  r.Dword();
  int count = r.Word();
  t.X = r.Short(), t.Y = r.Short(), t.W = r.Short(), t.H = r.Short();
  r.NameOrOrdinal();  // menu
  r.NameOrOrdinal();  // class
  t.Title = r.Wide();
  if (t.Style & DS_SETFONT) {
    t.PointSize = r.Word();
    t.Font = r.Wide();
  }
  for (int i = 0; i < count; ++i) {
    r.Align(base);
    TItem item;
    item.Style = r.Dword();
    r.Dword();
    item.X = r.Short(), item.Y = r.Short(), item.W = r.Short(), item.H = r.Short();
    item.Id = r.Short();
    std::string cls = r.NameOrOrdinal();
    item.ClassName = cls;
    // The predefined classes may be written by name or by their atom.
    const std::pair<const char*, unsigned> kAtoms[] = {
        {"button", 0x80}, {"edit", 0x81}, {"static", 0x82}, {"listbox", 0x83}};
    item.Class = cls.size() > 1 && cls[0] == '#' ? std::stoul(cls.substr(1)) : 0;
    for (const auto& [name, atom] : kAtoms)
      if (_stricmp(cls.c_str(), name) == 0) item.Class = atom;
    item.Text = r.NameOrOrdinal();
    WORD extra = r.Word();
    r.P += extra;
    t.Items.push_back(item);
  }
  return t;
}


std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ItemText(HWND dialog, int id) {
  char text[1024] = "";
  SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

namespace {
struct TFind {
  std::string Title;
  HWND Except;
  HWND Found;
};
BOOL CALLBACK FindTop(HWND window, LPARAM param) {
  auto* find = reinterpret_cast<TFind*>(param);
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (window != find->Except && IsWindowVisible(window) && std::string(cls) == "#32770" &&
      WindowText(window) == find->Title) {
    find->Found = window;
    return FALSE;
  }
  return TRUE;
}
BOOL CALLBACK CollectStatic(HWND window, LPARAM param) {
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  std::string text = WindowText(window);
  if (_stricmp(cls, "Static") == 0 && !text.empty()) {
    auto* out = reinterpret_cast<std::string*>(param);
    if (!out->empty()) *out += "|";
    *out += text;
  }
  return TRUE;
}
}  // namespace

HWND WaitForDialog(const std::string& title, HWND except) {
  for (int i = 0; i < 500; ++i) {
    TFind find{title, except, nullptr};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&find));
    if (find.Found) {
      Sleep(50);  // let it finish its set-up
      return find.Found;
    }
    Sleep(20);
  }
  return nullptr;
}

std::string StaticTexts(HWND dialog) {
  std::string out;
  EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&out));
  return out;
}

// The notification the button sends its dialog when clicked; BM_CLICK goes
// through the mouse messages, which Wine handles slowly for an inactive window.
void Click(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void ClickNow(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void SetItemText(HWND dialog, int id, const std::string& text) {
  SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SelectLine(HWND dialog, int listId, int index, bool wait) {
  HWND list = GetDlgItem(dialog, listId);
  SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  WPARAM command = MAKEWPARAM(listId, LBN_SELCHANGE);
  if (wait)
    SendMessageA(dialog, WM_COMMAND, command, reinterpret_cast<LPARAM>(list));
  else
    PostMessageA(dialog, WM_COMMAND, command, reinterpret_cast<LPARAM>(list));
}

std::vector<std::string> ListLines(HWND dialog, int listId) {
  HWND list = GetDlgItem(dialog, listId);
  std::vector<std::string> lines;
  int count = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[512] = "";
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    lines.push_back(text);
  }
  return lines;
}

bool WaitGone(HWND window) {
  // A closed dialog is hidden at once; Wine lets its handle live a little longer.
  auto gone = [&] { return !IsWindow(window) || !IsWindowVisible(window); };
  for (int i = 0; i < 500 && !gone(); ++i) Sleep(20);
  return gone();
}

}  // namespace korvel::test
