#include "ReplyFlow.h"

namespace korvel {

bool TLineEdit::EvInputChar(unsigned key) {
  if (key != '\r') return false;
  std::string text = View.InputText().substr(0, kBufferLength);
  if (text.empty()) return true;  // Enter on an empty line does nothing at all
  AnswerChallenge(text);
  if (Settings.IconizeAfterUse != 0) View.MinimizeMainWindow();
  return true;
}

void TLineEdit::AnswerChallenge(const std::string& text) {
  char reply[kBufferLength + 1] = "";
  if (AutoReply(text.c_str(), reply, kBufferLength) == 0) {
    View.ShowNoPasswordFound();  // the text stays for the operator to correct
    return;
  }
  View.ShowResult(reply);
  // Only after the box was closed, and only for exactly 1.
  if (Settings.CopyToClipboard == 1) View.CopyToClipboard(reply);
  View.InsertHistory(text);
  View.ClearInput();
}

}  // namespace korvel
