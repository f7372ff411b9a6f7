/* Stands in for Windows' reg.exe in the installer's test
 * (windows/installer/test-installer.sh), where Wine's reg.exe has no
 * "flags" command:
 *
 *   reg flags KEY SET [FLAG...] [/reg:32 | /reg:64]
 *
 * appends one line to C:\windows\temp\korvel-reg.log:
 *
 *   KEY|VIEW|FLAG FLAG...|STATE
 *
 * VIEW is 32, 64 or "default" (no /reg: switch), STATE "exists" when KEY
 * (HKLM\SOFTWARE\...) can be opened in that view, else "missing"; a command
 * line of another form is logged as "bad|" and the whole command line. Ends
 * with the exit code in KORVEL_FAKE_REG_EXIT (0 when unset), so that the
 * test can show what an installer does when reg.exe fails. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Prefix(const char* text, const char* prefix) {
  return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

int main(int argc, char** argv) {
  FILE* log = fopen("C:\\windows\\temp\\korvel-reg.log", "ab");
  if (!log) return 99;
  const char* code = getenv("KORVEL_FAKE_REG_EXIT");
  int exit_code = code ? atoi(code) : 0;
  int last = argc - 1;
  const char* view = "default";
  REGSAM sam = 0;
  if (last >= 1 && (_stricmp(argv[last], "/reg:32") == 0 || _stricmp(argv[last], "/reg:64") == 0)) {
    view = argv[last] + 5;
    sam = view[0] == '3' ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    --last;
  }
  if (last < 3 || _stricmp(argv[1], "flags") != 0 || _stricmp(argv[3], "SET") != 0 ||
      !Prefix(argv[2], "HKLM\\SOFTWARE\\")) {
    fprintf(log, "bad|%s\n", GetCommandLineA());
    fclose(log);
    return exit_code;
  }
  HKEY key;
  const char* state = "missing";
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2] + strlen("HKLM\\"), 0, KEY_READ | sam, &key) ==
      ERROR_SUCCESS) {
    state = "exists";
    RegCloseKey(key);
  }
  fprintf(log, "%s|%s|", argv[2], view);
  for (int i = 4; i <= last; ++i) fprintf(log, "%s%s", i > 4 ? " " : "", argv[i]);
  fprintf(log, "|%s\n", state);
  fclose(log);
  return exit_code;
}
