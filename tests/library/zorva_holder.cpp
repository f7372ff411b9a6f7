// Loads the real ZORVA library by name, as another program would, and answers
// commands on its standard input through the exports it finds by name:
//   names                  which exports resolve (1) and which do not (0)
//   search TEXT            result and position
//   isolate POSITION TEXT  result, challenge and counter
//   auto LENGTH TEXT       result and reply ("#" fills a buffer left untouched)
//   make POSITION LENGTH CHALLENGE
//                          result, reply and the challenge after the call
// At the end of its input it unloads the library and says "unloaded".
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "zorva.h"

#ifdef _WIN32
#include <windows.h>
using Handle = HMODULE;
Handle Load(const char* name) { return LoadLibraryA(name); }
void* Find(Handle h, const char* name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); }
void Unload(Handle h) { FreeLibrary(h); }
#else
#include <dlfcn.h>
using Handle = void*;
Handle Load(const char* name) { return dlopen(name, RTLD_NOW | RTLD_LOCAL); }
void* Find(Handle h, const char* name) { return dlsym(h, name); }
void Unload(Handle h) { dlclose(h); }
#endif

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zorva_holder LIBRARY\n");
    return 2;
  }
  Handle library = Load(argv[1]);
  if (!library) {
    std::printf("cannot load %s\n", argv[1]);
    return 2;
  }
  auto search = reinterpret_cast<decltype(&ZORVASearchClientPasswordChallenge)>(
      Find(library, "ZORVASearchClientPasswordChallenge"));
  auto isolate = reinterpret_cast<decltype(&ZORVAIsoltateClientPasswordChallange)>(
      Find(library, "ZORVAIsoltateClientPasswordChallange"));
  auto autoReply = reinterpret_cast<decltype(&ZORVAAutoClientPasswordReply)>(
      Find(library, "ZORVAAutoClientPasswordReply"));
  auto makeReply = reinterpret_cast<decltype(&ZORVAMakeClientPasswordReply)>(
      Find(library, "ZORVAMakeClientPasswordReply"));
  std::printf("loaded\n");
  std::fflush(stdout);

  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream in(line);
    std::string command;
    in >> command;
    std::string text;
    if (command == "names") {
      for (const char* name : {"ZORVAEditClientPasswordsDlg", "ZORVASearchClientPasswordChallenge",
                               "ZORVAIsoltateClientPasswordChallange",
                               "ZORVAMakeClientPasswordReply", "ZORVAAutoClientPasswordReply"})
        std::printf("%s=%d ", name, Find(library, name) ? 1 : 0);
      std::printf("\n");
    } else if (command == "search" && search) {
      std::getline(in >> std::ws, text);
      int position = -1;
      int result = search(text.c_str(), &position);
      std::printf("%d %d\n", result, position);
    } else if (command == "isolate" && isolate) {
      int position = -1;
      in >> position;
      std::getline(in >> std::ws, text);
      char challenge[256] = "";
      int counter = 0;
      int result = isolate(text.c_str(), challenge, 255, position, &counter);
      std::printf("%d [%s] %d\n", result, challenge, counter);
    } else if (command == "auto" && autoReply) {
      unsigned length = 0;
      in >> length;
      std::getline(in >> std::ws, text);
      std::string reply(length + 1, '#');
      int result = autoReply(text.c_str(), reply.data(), length);
      std::printf("%d [%s]\n", result, reply.c_str());
    } else if (command == "make" && makeReply) {
      int position = -1;
      unsigned length = 0;
      in >> position >> length;
      std::getline(in >> std::ws, text);
      std::string reply(length + 1, '#');
      int result = makeReply(text.data(), reply.data(), length, position);
      std::printf("%d [%s] [%s]\n", result, reply.c_str(), text.c_str());
    } else {
      std::printf("unknown command\n");
    }
    std::fflush(stdout);
  }
  Unload(library);
  std::printf("unloaded\n");
  return 0;
}
