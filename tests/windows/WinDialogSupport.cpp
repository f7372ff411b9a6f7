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

namespace {
bool IsKind(const TItem& c, TKind kind) {
  const unsigned button = c.Style & BS_TYPEMASK, image = c.Style & SS_TYPEMASK;
  switch (kind) {
    case TKind::Label: return c.Class == 0x82 && image <= SS_RIGHT;
    case TKind::Edit: return c.Class == 0x81;
    case TKind::ListBox: return c.Class == 0x83 && (c.Style & LBS_NOTIFY) && !(c.Style & LBS_SORT);
    case TKind::HotKey: return _stricmp(c.ClassName.c_str(), "msctls_hotkey32") == 0;
    case TKind::PushButton: return c.Class == 0x80 && button == BS_PUSHBUTTON;
    case TKind::DefaultButton: return c.Class == 0x80 && button == BS_DEFPUSHBUTTON;
    case TKind::CheckBox: return c.Class == 0x80 && button == BS_AUTOCHECKBOX;
    case TKind::RadioButton: return c.Class == 0x80 && button == BS_AUTORADIOBUTTON;
    case TKind::Picture: return c.Class == 0x82 && image == SS_BITMAP;
    case TKind::Icon: return c.Class == 0x82 && image == SS_ICON;
  }
  return false;
}
bool IsContainer(const TItem& c) {
  return (c.Class == 0x80 && (c.Style & BS_TYPEMASK) == BS_GROUPBOX) ||
         (c.Class == 0x82 && (c.Style & SS_TYPEMASK) == SS_ETCHEDFRAME);
}
// Whether the box holds the control. A left-aligned label's rectangle only
// bounds its text, which commonly ends sooner: its right edge may pass the box's.
bool Holds(const TItem& box, const TItem& c) {
  const bool leftLabel = c.Class == 0x82 && (c.Style & SS_TYPEMASK) == SS_LEFT;
  return c.X >= box.X && c.Y >= box.Y && c.Y + c.H <= box.Y + box.H &&
         (leftLabel ? c.X < box.X + box.W : c.X + c.W <= box.X + box.W);
}
bool Overlap(const TItem& a, const TItem& b) {
  return a.X < b.X + b.W && b.X < a.X + a.W && a.Y < b.Y + b.H && b.Y < a.Y + a.H;
}
std::string Name(const TItem& c) { return "'" + c.Text + "' (" + std::to_string(c.Id) + ")"; }
}  // namespace

std::vector<std::string> DialogProblems(HMODULE module, const TWantDialog& want) {
  const TTemplate t = ReadTemplate(module, want.Resource);
  if (t.Items.empty()) return {"no dialog or no controls"};
  std::vector<std::string> problems;
  if (t.Title != want.Title) problems.push_back("title '" + t.Title + "'");
  if ((t.Style & (WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP)) != want.Frame)
    problems.push_back("frame style");
  if (t.Font != "MS Sans Serif" || t.PointSize != 8) problems.push_back("font " + t.Font);
  const auto& items = t.Items;
  for (const TWantControl& w : want.Controls) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].Id == w.Id && (w.Id != -1 || items[i].Text == w.Text)) found.push_back(i);
    const std::string name = "'" + w.Text + "' (" + std::to_string(w.Id) + ")";
    if (found.size() != 1) {
      problems.push_back(name + " found " + std::to_string(found.size()) + " times");
      continue;
    }
    const std::size_t i = found[0];
    if (items[i].Text != w.Text) problems.push_back(name + " reads '" + items[i].Text + "'");
    if (!IsKind(items[i], w.Kind)) problems.push_back(name + " is of another kind");
    if (!w.Label.empty() &&
        (i == 0 || items[i - 1].Text != w.Label || !IsKind(items[i - 1], TKind::Label)))
      problems.push_back(name + " does not follow its label '" + w.Label + "'");
  }
  std::vector<int> tabOrder;
  std::vector<std::size_t> radios;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const TItem& c = items[i];
    if (c.Style & WS_TABSTOP) tabOrder.push_back(c.Id);
    if (IsKind(c, TKind::RadioButton)) radios.push_back(i);
    if (!(c.Style & WS_VISIBLE)) problems.push_back(Name(c) + " is hidden");
    if (c.X < 0 || c.Y < 0 || c.X + c.W > t.W || c.Y + c.H > t.H)
      problems.push_back(Name(c) + " lies outside");
    for (std::size_t j = i + 1; j < items.size(); ++j) {
      const TItem& d = items[j];
      if (Overlap(c, d) && !(IsContainer(c) && Holds(c, d)) && !(IsContainer(d) && Holds(d, c)))
        problems.push_back(Name(c) + " overlaps " + Name(d));
    }
  }
  if (tabOrder != want.TabOrder) {
    std::string order = "tab order";
    for (int id : tabOrder) order += " " + std::to_string(id);
    problems.push_back(order);
  }
  // One group: the radio buttons stand together, the first opens the group
  // and the control after the last opens the next one.
  if (!radios.empty()) {
    bool group = radios.back() - radios.front() + 1 == radios.size() &&
                 (items[radios.front()].Style & WS_GROUP);
    for (std::size_t k = 1; k < radios.size(); ++k)
      group = group && !(items[radios[k]].Style & WS_GROUP);
    if (radios.back() + 1 < items.size())
      group = group && (items[radios.back() + 1].Style & WS_GROUP);
    if (!group) problems.push_back("the radio buttons are not one group");
  }
  // Each radio button stands inside the group box that names its choice.
  for (std::size_t i : radios) {
    bool boxed = false;
    for (const TItem& box : items)
      boxed = boxed || (box.Class == 0x80 && (box.Style & BS_TYPEMASK) == BS_GROUPBOX &&
                        Holds(box, items[i]));
    if (!boxed) problems.push_back(Name(items[i]) + " lies in no group box");
  }
  return problems;
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
