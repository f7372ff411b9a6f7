// Text across the boundaries that only Windows has: the clipboard of KOR
// and korvel.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "ChildProcess.h"
#include "Clipboard.h"
#include "TestStores.h"

namespace korvel {
namespace {

using namespace korvel::test;

// ---- the clipboard -------------------------------------------------------------

// Another program's block, as GlobalSize gives it: the bytes behind its end
// (a block is rounded up in its heap) are not zero.
TEST(Clipboard, ABlockIsReadUpToItsZeroItsEndOrTheLimit) {
  const struct {
    std::string Bytes;
    std::size_t Limit;
    std::string Want;
  } cases[] = {
      {"DB0XYZ} 3 1 4", 255, "DB0XYZ} 3 1 4"},  // no terminating zero
      {std::string("DB0\0XYZ", 7), 255, "DB0"},
      {std::string("DB0XYZ\0", 7), 3, "DB0"},
      {std::string(300, '7'), 255, std::string(255, '7')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Want);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, c.Bytes.size() + 64);
    ASSERT_TRUE(block);
    char* p = static_cast<char*>(GlobalLock(block));
    std::memset(p, 'X', c.Bytes.size() + 64);
    std::memcpy(p, c.Bytes.data(), c.Bytes.size());
    GlobalUnlock(block);
    block = GlobalReAlloc(block, c.Bytes.size(), 0);  // shrunk in place
    ASSERT_TRUE(block);
    ASSERT_EQ(GlobalSize(block), c.Bytes.size());
    EXPECT_EQ(BlockText(block, c.Limit), c.Want);
    GlobalFree(block);
  }
}

// ---- korvel.exe and the clipboard ------------------------------------------------

class KorvelWin32 : public ::testing::Test {
 protected:
  void SetUp() override { ClearCalvek(); }
  static std::vector<std::string> Command(const std::vector<std::string>& args) {
    std::vector<std::string> argv{ProgramDir() + "\\korvel.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  static int Korvel(const std::vector<std::string>& args, const std::string& input,
                    std::string* out = nullptr) {
    TChildProcess child(Command(args));
    child.Write(input);
    child.CloseInput();
    std::string all = child.ReadAllBytes();
    if (out) *out = all;
    return child.Wait();
  }
  static std::string Clipboard() { return ClipboardText(nullptr, 1000).value_or("<none>"); }
};

TEST_F(KorvelWin32, CopyPutsTheReplyOnTheClipboardThoughAnotherProgramHoldsItAMoment) {
  ASSERT_EQ(Korvel({"add", "ita", "--type", "itanet", "--prompt", "ITA>"}, "11111\n"), 0);
  TChildProcess filter(Command({"reply", "--copy"}));
  filter.WriteLine("ITA> 1 2 3 4 5");  // the reply is written after it was copied
  EXPECT_EQ(filter.ReadLine(), "15");
  EXPECT_EQ(Clipboard(), "15");

  ASSERT_TRUE(OpenClipboard(nullptr));  // as a clipboard manager looking at a change
  filter.WriteLine("ITA> 1 1 1 1 1");
  Sleep(100);
  CloseClipboard();
  EXPECT_EQ(filter.ReadLine(), "5");
  EXPECT_EQ(Clipboard(), "5");
  filter.CloseInput();
  EXPECT_EQ(filter.Wait(), 0);
}

}  // namespace
}  // namespace korvel
