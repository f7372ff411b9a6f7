// Which help page KOR shows: a topic's own page, or the contents page.
#include <gtest/gtest.h>

#include "KorHelp.h"

namespace korvel {
namespace {

TEST(KorHelp, ATopicsOwnPageElseTheContents) {
  struct Case {
    unsigned Topic;
    const char* Page;
  };
  const Case cases[] = {
      {kHelpConfigure, "kor-100.html"},
      {kHelpPasswordSetup, "kor-101.html"},
      {kHelpAbout, "kor-102.html"},
      {kHelpContents, "kor.html"},
      {99, "kor.html"},  // no page of its own
      {103, "kor.html"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Topic);
    EXPECT_EQ(HelpPage(c.Topic), c.Page);
  }
}

}  // namespace
}  // namespace korvel
