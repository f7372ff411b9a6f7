/* Keeps an installed file in use the way operators' programs do, for the
 * installer's test (windows/installer/test-installer.sh):
 *
 *   hold_in_use READY STOP run PROGRAM [ARGUMENT]  runs the program (KOR,
 *       korvel reading its standard input, which stays open)
 *   hold_in_use READY STOP load DLL    loads the DLL, as a host program does
 *   hold_in_use READY STOP map DLL     maps the DLL as an image without
 *       running it, as the loader of a host of the DLL's own architecture
 *       does (the 32-bit DLL, where no 32-bit host can run)
 *
 * Writes the file READY once the file is held and holds it until the file
 * STOP exists (two minutes at most), then ends the program or lets the DLL
 * go. Exit status 0, or 1 when the file could not be held. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

static int Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6) {
    fprintf(stderr, "usage: hold_in_use READY STOP run|load|map FILE [ARGUMENT]\n");
    return 2;
  }
  const char *ready = argv[1], *stop = argv[2], *how = argv[3], *file = argv[4];
  PROCESS_INFORMATION process = {0};
  HMODULE module = NULL;
  HANDLE input = NULL, keep = NULL;
  if (strcmp(how, "run") == 0) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    if (!CreatePipe(&input, &keep, &inherit, 0)) return 1;
    SetHandleInformation(keep, HANDLE_FLAG_INHERIT, 0);
    char command[1024];
    snprintf(command, sizeof command, "\"%s\" %s", file, argc == 6 ? argv[5] : "");
    STARTUPINFOA startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
      fprintf(stderr, "hold_in_use: cannot start %s (error %lu)\n", file, GetLastError());
      return 1;
    }
  } else if (strcmp(how, "load") == 0 || strcmp(how, "map") == 0) {
    module = strcmp(how, "load") == 0
                 ? LoadLibraryA(file)
                 : LoadLibraryExA(file, NULL, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
      fprintf(stderr, "hold_in_use: cannot %s %s (error %lu)\n", how, file, GetLastError());
      return 1;
    }
  } else {
    fprintf(stderr, "hold_in_use: run, load or map, not %s\n", how);
    return 2;
  }
  HANDLE mark = CreateFileA(ready, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
  for (int waited = 0; waited < 120000 && !Exists(stop); waited += 50) Sleep(50);
  if (process.hProcess) {
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
  }
  if (module) FreeLibrary(module);
  return 0;
}
