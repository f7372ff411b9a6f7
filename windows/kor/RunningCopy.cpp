#include "RunningCopy.h"

namespace korvel {

UINT BringForwardMessage() {
  static const UINT message = RegisterWindowMessageA("Korvel.KOR.BringForward");
  return message;
}

void BringRunningCopyForward(HWND running, TAllowSetForeground allow) {
  DWORD process = 0;
  if (!GetWindowThreadProcessId(running, &process)) return;  // gone meanwhile
  // The right lasts until the operator's next input elsewhere: it is handed
  // over before the running copy is asked to use it.
  allow(process);
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutA(running, BringForwardMessage(), 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) &&
      answer == static_cast<DWORD_PTR>(kBroughtForward))
    return;
  ShowWindowAsync(running, SW_SHOWNORMAL);
}

}  // namespace korvel
