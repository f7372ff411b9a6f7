// The headless platform: dialogs run without windows. Controls hold their
// state in memory, a test plays the operator (typing, clicking, selecting)
// and answers message boxes and input boxes from a script; every question
// asked is recorded.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "Dialog.h"

namespace korvel {

class THeadlessDialog final : public TDialogBackend {
 public:
  explicit THeadlessDialog(TDialog& dialog) : Dialog(dialog) {}

  // The operator's actions; each sends the notification the real control
  // sends. They do nothing once the dialog has ended.
  void Type(int id, std::string_view text);  // replaces the text, up to the limit
  void Click(int id);
  void Select(int listId, int index);
  void Escape() { Press(kIdCancel); }
  void Press(int id);  // a command without a control: Enter (kIdOk), Esc (kIdCancel)

  // The timer with this id fires, if it runs.
  void Tick(unsigned id);
  bool TimerRunning(unsigned id) const { return Timers.count(id) > 0; }
  unsigned TimerInterval(unsigned id) const { return Timers.count(id) ? Timers.at(id) : 0; }
  bool Centered() const { return CenteredOnScreen; }
  // Sets a hot-key control as the operator does by pressing keys in it.
  void PressHotKey(int id, uint16_t code);

  bool Ended() const { return EndCode.has_value(); }
  int Code() const { return EndCode.value_or(0); }
  bool TooltipCreated() const { return Tooltip; }
  unsigned TextLimit(int id) { return Controls[id].Limit; }
  std::vector<std::string> ListLines(int id) { return Controls[id].Lines; }

  void* Handle() override { return this; }
  void Declare(int id, TControlKind kind, int group) override;
  std::string GetText(int id) override { return Controls[id].Text; }
  void SetText(int id, std::string_view text) override;
  void SetTextLimit(int id, unsigned limit) override { Controls[id].Limit = limit; }
  void Enable(int id, bool enable) override { Controls[id].Enabled = enable; }
  bool IsEnabled(int id) override { return Controls[id].Enabled; }
  int GetCheck(int id) override { return Controls[id].Check; }
  void SetCheck(int id, int state) override { Controls[id].Check = state; }
  int ListCount(int id) override { return static_cast<int>(Controls[id].Lines.size()); }
  std::string ListText(int id, int index) override;
  void ListInsert(int id, std::string_view text, int index) override;
  void ListDelete(int id, int index) override;
  int ListSelection(int id) override { return Controls[id].Selection; }
  void ListSelect(int id, int index) override;
  void CreateTooltip() override { Tooltip = true; }
  void EndDialog(int code) override {
    if (!EndCode) EndCode = code;
  }
  uint16_t GetHotKey(int id) override { return Controls[id].HotKey; }
  void SetHotKey(int id, uint16_t code) override { Controls[id].HotKey = code; }
  void SetDigitsOnly(int id) override { Controls[id].DigitsOnly = true; }
  void SetFocus(int id) override { Focus = id; }
  void StartTimer(unsigned id, unsigned milliseconds) override { Timers[id] = milliseconds; }
  void StopTimer(unsigned id) override { Timers.erase(id); }
  void PostClose() override;
  void CenterOnScreen() override { CenteredOnScreen = true; }
  int Focused() const { return Focus; }

 private:
  struct TState {
    TControlKind Kind = TControlKind::Button;
    int Group = 0;
    std::string Text;
    unsigned Limit = 0;
    bool Enabled = true;
    int Check = 0;
    std::vector<std::string> Lines;
    int Selection = -1;
    uint16_t HotKey = 0;
    bool DigitsOnly = false;
  };
  std::map<unsigned, unsigned> Timers;
  bool CenteredOnScreen = false;
  int Focus = 0;
  TDialog& Dialog;
  std::map<int, TState> Controls;
  std::optional<int> EndCode;
  bool Tooltip = false;
};

class THeadlessPlatform final : public TPlatform {
 public:
  struct TMessage {
    std::string Text;
    std::string Caption;
    unsigned Flags;
  };
  struct TInput {
    std::string Title;
    std::string Prompt;
    std::string Initial;
  };
  using TDriver = std::function<void(THeadlessDialog&)>;

  // The script: dialogs other than input boxes are played by the next driver;
  // input boxes take the next input answer (none: Cancel); questions take the
  // next answer (OK boxes need none).
  std::deque<TDriver> Drivers;
  std::deque<std::optional<std::string>> InputAnswers;
  std::deque<int> Answers;

  // What was asked, in order, and whether anything was asked that the script
  // had no answer for.
  std::vector<TMessage> Messages;
  std::vector<TInput> Inputs;
  bool Unanswered = false;

  int RunModal(TDialog& dialog) override;
  int ShowMessageBox(void* owner, std::string_view text, std::string_view caption,
                     unsigned flags) override;
};

}  // namespace korvel
