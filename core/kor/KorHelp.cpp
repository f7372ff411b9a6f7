#include "KorHelp.h"

namespace korvel {

THelpChoice ChooseHelp(unsigned topic, unsigned windowsMajor, bool helpFileFound) {
  if (windowsMajor < 6 && helpFileFound) return {true, ""};
  switch (topic) {
    case kHelpConfigure:
    case kHelpPasswordSetup:
    case kHelpAbout: return {false, "kor-" + std::to_string(topic) + ".html"};
    default: return {false, kHelpPage};
  }
}

}  // namespace korvel
