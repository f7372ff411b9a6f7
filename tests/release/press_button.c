/* Presses a button as an operator would, for the installer's test
 * (windows/installer/test-installer.sh):
 *
 *   press_button TITLE ID [--label TEXT] [--closes]
 *
 * waits up to 30 seconds for a visible top-level window whose title starts
 * with TITLE (an installer adds its page's name) with a
 * visible, enabled button of the control id ID (1 Next/Install/Finish on an
 * installer's page, 4 Retry in a message box), prints the texts of the
 * window's other controls (a message box's message) and clicks the button.
 * With --label the button's text, without its '&', must start with TEXT: an
 * installer's pages share one window and one button 1, whose text tells the
 * page ("Next >", "I Agree", "Install", "Finish"). With --closes it then
 * waits until that window is gone, so that the next press meets the window
 * that comes after it. Exit status 0 when pressed, 1 when no such button
 * appeared. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct Search {
  const char* Title;
  int Id;
  const char* Label;
  HWND Found;
};

static BOOL CALLBACK Consider(HWND window, LPARAM context) {
  struct Search* search = (struct Search*)context;
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  if (!IsWindowVisible(window) || strncmp(title, search->Title, strlen(search->Title)) != 0) return TRUE;
  HWND button = GetDlgItem(window, search->Id);
  if (!button || !IsWindowVisible(button) || !IsWindowEnabled(button)) return TRUE;
  if (search->Label) {
    char text[256] = "", label[256];
    GetWindowTextA(button, text, sizeof text);
    size_t n = 0;
    for (const char* c = text; *c && n + 1 < sizeof label; ++c)
      if (*c != '&') label[n++] = *c;
    label[n] = 0;
    if (strncmp(label, search->Label, strlen(search->Label)) != 0) return TRUE;
  }
  search->Found = window;
  return FALSE;
}

static BOOL CALLBACK PrintText(HWND control, LPARAM unused) {
  (void)unused;
  char text[1024] = "";
  if (GetWindowTextA(control, text, sizeof text) > 0) printf("%s\n", text);
  return TRUE;
}

int main(int argc, char** argv) {
  struct Search search = {NULL, 0, NULL, NULL};
  int closes = 0, usage = argc < 3;
  for (int i = 3; i < argc && !usage; ++i) {
    if (strcmp(argv[i], "--closes") == 0) closes = 1;
    else if (strcmp(argv[i], "--label") == 0 && i + 1 < argc) search.Label = argv[++i];
    else usage = 1;
  }
  if (usage) {
    fprintf(stderr, "usage: press_button TITLE ID [--label TEXT] [--closes]\n");
    return 2;
  }
  search.Title = argv[1];
  search.Id = atoi(argv[2]);
  for (int waited = 0; waited < 30000 && !search.Found; waited += 50) {
    EnumWindows(Consider, (LPARAM)&search);
    if (!search.Found) Sleep(50);
  }
  if (!search.Found) {
    fprintf(stderr, "press_button: no window \"%s\" with button %d\n", argv[1], search.Id);
    return 1;
  }
  EnumChildWindows(search.Found, PrintText, 0);
  fflush(stdout);
  SendMessageA(GetDlgItem(search.Found, search.Id), BM_CLICK, 0, 0);
  if (closes)
    for (int waited = 0; waited < 10000 && IsWindow(search.Found); waited += 50) Sleep(50);
  return 0;
}
