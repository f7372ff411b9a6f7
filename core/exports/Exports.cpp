// The C exports. Each checks that the module object exists and forwards to it;
// no exception ever leaves the library.
#define ZORVA_BUILDING
#include "zorva.h"

#include "ModuleInstance.h"

using korvel::ZorvaModule;

namespace {

template <typename F>
int Guarded(F&& call) {
  try {
    return call() ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace

extern "C" {

ZORVA_API int ZORVA_CALL ZORVASearchClientPasswordChallenge(const char* text, int* position) {
  auto* module = ZorvaModule();
  if (!module || !position) return 0;
  return Guarded([&] { return module->SearchChallenge(text, *position); });
}

ZORVA_API int ZORVA_CALL ZORVAIsoltateClientPasswordChallange(const char* text, char* challenge,
                                                              unsigned length, int position,
                                                              int* counter) {
  auto* module = ZorvaModule();
  if (!module || !counter) return 0;
  return Guarded(
      [&] { return module->IsolateChallenge(text, challenge, length, position, *counter); });
}

ZORVA_API int ZORVA_CALL ZORVAMakeClientPasswordReply(char* challenge, char* reply, unsigned length,
                                                      int position) {
  auto* module = ZorvaModule();
  if (!module) return 0;
  return Guarded([&] { return module->MakeChallengeReply(challenge, reply, length, position); });
}

ZORVA_API int ZORVA_CALL ZORVAAutoClientPasswordReply(const char* text, char* reply,
                                                      unsigned length) {
  auto* module = ZorvaModule();
  if (!module) return 0;
  return Guarded([&] { return module->AutoReply(text, reply, length); });
}

}  // extern "C"
