// KOR's reply flow (TLineEdit): Enter in the input line hands the text to
// the library's automatic reply and shows, copies, files and iconizes as the
// settings say. The window system is behind TInputView, so the decisions are
// the same code on Windows and in the tests.
#pragma once

#include <functional>
#include <string>

#include "WinPassSettings.h"

namespace korvel {

class TInputView {
 public:
  virtual ~TInputView() = default;
  virtual std::string InputText() = 0;
  virtual void ClearInput() = 0;
  // Modal boxes owned by the input line: the reply captioned "Result" (OK, no
  // icon), and "No password found!" captioned "ERROR" (OK, exclamation icon).
  virtual void ShowResult(const std::string& reply) = 0;
  virtual void ShowNoPasswordFound() = 0;
  // Puts the text on the clipboard as CF_TEXT; failures are not reported.
  virtual void CopyToClipboard(const std::string& text) = 0;
  // Inserts a line at the top of the combo box's list.
  virtual void InsertHistory(const std::string& challenge) = 0;
  virtual void MinimizeMainWindow() = 0;
};

// ZORVAAutoClientPasswordReply, or a stand-in in tests.
using TAutoReply = std::function<int(const char* text, char* reply, unsigned length)>;

class TLineEdit {
 public:
  static constexpr std::size_t kBufferLength = 255;

  TLineEdit(TInputView& view, const TWinPassSettings& settings, TAutoReply autoReply)
      : View(view), Settings(settings), AutoReply(std::move(autoReply)) {}

  // A character typed into the input line. True when it was consumed (Enter);
  // any other character goes to the field as usual.
  bool EvInputChar(unsigned key);
  void AnswerChallenge(const std::string& text);

 private:
  TInputView& View;
  const TWinPassSettings& Settings;
  TAutoReply AutoReply;
};

}  // namespace korvel
