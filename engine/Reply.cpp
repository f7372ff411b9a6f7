// Making replies. The algorithms are not built yet: no reply can be made.
#include "ZORVAModule.h"

namespace korvel {

bool TZORVAModule::MakeChallengeReply(char*, char*, unsigned, int) { return false; }

bool TZORVAModule::AutoReply(const char*, char*, unsigned) { return false; }

}  // namespace korvel
