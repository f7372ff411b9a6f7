#include "KorHelp.h"

namespace korvel {

std::string HelpPage(unsigned topic) {
  switch (topic) {
    case kHelpConfigure:
    case kHelpPasswordSetup:
    case kHelpAbout: return "kor-" + std::to_string(topic) + ".html";
    default: return kHelpPage;
  }
}

}  // namespace korvel
