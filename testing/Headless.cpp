#include "Headless.h"

namespace korvel {

void THeadlessDialog::Declare(int id, TControlKind kind, int group) {
  Controls[id].Kind = kind;
  Controls[id].Group = group;
}

void THeadlessDialog::SetText(int id, std::string_view text) {
  TState& state = Controls[id];
  state.Text = std::string(text);
  // Like a real edit control, a change of text by anyone is notified.
  if (state.Kind == TControlKind::Edit) Dialog.EvCommand(id, kEnChange);
}

void THeadlessDialog::Type(int id, std::string_view text) {
  if (Ended() || !Controls[id].Enabled) return;
  std::string typed;
  for (char c : text)
    if (!Controls[id].DigitsOnly || (c >= '0' && c <= '9'))
      typed.push_back(c);  // others are refused
  // An edit takes at most its limit, the terminating zero not counted.
  unsigned limit = Controls[id].Limit;
  if (limit > 0 && typed.size() > limit) typed.resize(limit);
  SetText(id, typed);
}

void THeadlessDialog::PressHotKey(int id, uint16_t code) {
  if (!Ended() && Controls[id].Enabled) Controls[id].HotKey = code;
}

void THeadlessDialog::Tick(unsigned id) {
  if (!Ended() && Timers.count(id)) Dialog.EvTimer(id);
}

void THeadlessDialog::PostClose() {
  if (!Ended()) Dialog.EvCommand(kIdCancel, 0);  // the close box's way: Cancel
}

void THeadlessDialog::Click(int id) {
  TState& state = Controls[id];
  if (Ended() || !state.Enabled) return;
  if (state.Kind == TControlKind::CheckBox) state.Check = state.Check ? 0 : 1;
  if (state.Kind == TControlKind::RadioButton) {
    for (auto& [other, s] : Controls)
      if (s.Kind == TControlKind::RadioButton && s.Group == state.Group) s.Check = 0;
    state.Check = 1;
  }
  Dialog.EvCommand(id, kBnClicked);
}

void THeadlessDialog::Press(int id) {
  if (!Ended()) Dialog.EvCommand(id, kBnClicked);
}

void THeadlessDialog::Select(int listId, int index) {
  if (Ended() || !Controls[listId].Enabled) return;
  ListSelect(listId, index);
  Dialog.EvCommand(listId, kLbnSelChange);
}

std::string THeadlessDialog::ListText(int id, int index) {
  const auto& lines = Controls[id].Lines;
  return index >= 0 && index < static_cast<int>(lines.size()) ? lines[index] : std::string();
}

void THeadlessDialog::ListInsert(int id, std::string_view text, int index) {
  auto& lines = Controls[id].Lines;
  if (index < 0 || index > static_cast<int>(lines.size())) index = static_cast<int>(lines.size());
  lines.insert(lines.begin() + index, std::string(text));
}

void THeadlessDialog::ListDelete(int id, int index) {
  TState& state = Controls[id];
  if (index < 0 || index >= static_cast<int>(state.Lines.size())) return;
  state.Lines.erase(state.Lines.begin() + index);
  // A list box forgets its selection when the selected line goes.
  if (state.Selection == index)
    state.Selection = -1;
  else if (state.Selection > index)
    --state.Selection;
}

void THeadlessDialog::ListSelect(int id, int index) {
  TState& state = Controls[id];
  state.Selection = index >= 0 && index < static_cast<int>(state.Lines.size()) ? index : -1;
}

int THeadlessPlatform::RunModal(TDialog& dialog) {
  auto owned = std::make_unique<THeadlessDialog>(dialog);
  THeadlessDialog& backend = *owned;
  dialog.Attach(std::move(owned));
  dialog.SetupWindow();
  if (auto* input = dynamic_cast<TInputDialog*>(&dialog)) {
    Inputs.push_back(
        {input->GetTitle(), input->GetPrompt(), backend.GetText(TInputDialog::kFieldId)});
    if (InputAnswers.empty()) Unanswered = true;
    std::optional<std::string> answer;
    if (!InputAnswers.empty()) {
      answer = InputAnswers.front();
      InputAnswers.pop_front();
    }
    if (answer) {
      backend.Type(TInputDialog::kFieldId, *answer);
      backend.Press(kIdOk);
    } else {
      backend.Escape();
    }
  } else if (!Drivers.empty()) {
    TDriver driver = std::move(Drivers.front());
    Drivers.pop_front();
    driver(backend);
  } else {
    Unanswered = true;
  }
  if (!backend.Ended()) backend.Escape();  // a dialog left open is closed like Esc
  if (!backend.Ended()) backend.EndDialog(kIdCancel);
  int code = backend.Code();
  dialog.Detach();
  return code;
}

int THeadlessPlatform::ShowMessageBox(void*, std::string_view text, std::string_view caption,
                                      unsigned flags) {
  Messages.push_back({std::string(text), std::string(caption), flags});
  if ((flags & 0xF) == kMbOk) return kIdOk;
  if (Answers.empty()) {
    Unanswered = true;
    return kIdCancel;
  }
  int answer = Answers.front();
  Answers.pop_front();
  return answer;
}

}  // namespace korvel
