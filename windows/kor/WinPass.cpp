// KOR's program entry and application object: one copy at a time, the -q
// switch, the settings read at start and written at exit, the main window
// and the message loop with the accelerators "x" and "X".
#include <windows.h>
#include <commctrl.h>

#include <cctype>

#include "KorResources.h"
#include "MakePassFrame.h"
#include "RunningCopy.h"
#include "Win32Dialogs.h"
#include "RegistryStore.h"

namespace korvel {
namespace {

class TWinPass {
 public:
  explicit TWinPass(std::shared_ptr<TKorSettingsStore> store) : Store(std::move(store)) {
    Store->Load(Settings);
  }
  // The settings are written at every normal end, changed or not.
  ~TWinPass() { Store->Save(Settings); }

  int Run(HINSTANCE instance, bool noSplash) {
    TMakePassFrame frame(Settings, noSplash, [this] { Store->Save(Settings); });
    HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KOR));
    if (!frame.Create(instance, icon)) return 1;
    HACCEL accelerators = LoadAcceleratorsA(instance, IDR_ACCELERATORS);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (accelerators && TranslateAcceleratorA(frame.Handle(), accelerators, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
  }

  TKorSettings Settings;

 private:
  std::shared_ptr<TKorSettingsStore> Store;
};

}  // namespace
}  // namespace korvel

int main(int argc, char** argv) {
  using namespace korvel;
  UseWin32Dialogs();
  if (HWND running = FindWindowA(nullptr, kMainTitle)) {
    BringRunningCopyForward(running);
    return 0;
  }
  bool noSplash = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if ((arg[0] == '-' || arg[0] == '/') && std::toupper(static_cast<unsigned char>(arg[1])) == 'Q')
      noSplash = true;
  }
  // The manifest asks for the common controls of version 6; their classes
  // are registered before the first window (the main window's combo box
  // comes before any dialog with -q).
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_HOTKEY_CLASS};
  InitCommonControlsEx(&controls);
  TWinPass application(std::make_shared<TRegistryStore>());
  return application.Run(GetModuleHandleA(nullptr), noSplash);
}
