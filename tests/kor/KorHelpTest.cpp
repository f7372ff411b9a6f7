// Which help KOR shows: WinHelp only where Windows still has it and the help
// file is there; elsewhere a topic's own page, or the contents page.
#include <gtest/gtest.h>

#include "KorHelp.h"

namespace korvel {
namespace {

TEST(KorHelp, WinHelpBeforeVistaWithTheFileElseTheTopicsPage) {
  struct Case {
    unsigned Topic, WindowsMajor;
    bool FileFound;
    bool WinHelp;
    const char* Page;
  };
  const Case cases[] = {
      {kHelpConfigure, 5, true, true, ""},  // XP
      {kHelpContents, 4, true, true, ""},   // NT 4
      {kHelpConfigure, 5, false, false, "kor-100.html"},
      {kHelpConfigure, 6, true, false, "kor-100.html"},  // Vista: the stub
      {kHelpPasswordSetup, 10, true, false, "kor-101.html"},
      {kHelpAbout, 10, false, false, "kor-102.html"},
      {kHelpContents, 10, false, false, "kor.html"},
      {99, 10, false, false, "kor.html"},  // no page of its own
      {103, 6, false, false, "kor.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.Topic) + " on " + std::to_string(c.WindowsMajor));
    const THelpChoice choice = ChooseHelp(c.Topic, c.WindowsMajor, c.FileFound);
    EXPECT_EQ(choice.WinHelp, c.WinHelp);
    EXPECT_EQ(choice.Page, c.Page);
  }
}

}  // namespace
}  // namespace korvel
