// The reply flow's decisions: what is shown, copied, filed and minimized.
#include <gtest/gtest.h>

#include "ReplyFlow.h"

namespace korvel {
namespace {

// Records what the flow does, in order.
class TRecordingView : public TInputView {
 public:
  std::string Text;
  std::vector<std::string> Events;
  std::vector<std::string> History;

  std::string InputText() override { return Text; }
  void ClearInput() override {
    Text.clear();
    Events.push_back("clear");
  }
  void ShowResult(const std::string& reply) override { Events.push_back("Result: " + reply); }
  void ShowNoPasswordFound() override { Events.push_back("ERROR: No password found!"); }
  void CopyToClipboard(const std::string& text) override { Events.push_back("copy " + text); }
  void InsertHistory(const std::string& challenge) override {
    History.insert(History.begin(), challenge);
    Events.push_back("file " + challenge);
  }
  void MinimizeMainWindow() override { Events.push_back("minimize"); }
};

class ReplyFlow : public ::testing::Test {
 protected:
  TRecordingView View;
  TWinPassSettings Settings;
  std::vector<std::string> Asked;  // texts handed to the library
  TLineEdit Line{View, Settings, [this](const char* text, char* reply, unsigned length) {
                   Asked.push_back(text);
                   EXPECT_EQ(length, 255u);
                   if (std::string(text).find("BBS>") == std::string::npos) return 0;
                   std::snprintf(reply, length + 1, "reply-%zu", Asked.size());
                   return 1;
                 }};
  void Enter(std::string text) {
    View.Text = std::move(text);
    EXPECT_TRUE(Line.EvInputChar('\r'));
  }
};

TEST_F(ReplyFlow, AnAnswerIsShownFiledAndTheLineCleared) {
  Enter("BBS> <4711>");
  EXPECT_EQ(View.Events,
            (std::vector<std::string>{"Result: reply-1", "file BBS> <4711>", "clear"}));
  EXPECT_EQ(View.Text, "");
}

TEST_F(ReplyFlow, CopyingFollowsTheResultBoxAndOnlyForExactlyOne) {
  Settings.CopyToClipboard = 1;
  Enter("BBS> <1>");
  EXPECT_EQ(View.Events, (std::vector<std::string>{"Result: reply-1", "copy reply-1",
                                                   "file BBS> <1>", "clear"}));
  View.Events.clear();
  Settings.CopyToClipboard = 2;
  Enter("BBS> <2>");
  EXPECT_EQ(View.Events, (std::vector<std::string>{"Result: reply-2", "file BBS> <2>", "clear"}));
}

TEST_F(ReplyFlow, NoPasswordKeepsTheTextAndMinimizesWhenConfigured) {
  Settings.IconizeAfterUse = 1;
  Enter("unknown line");
  EXPECT_EQ(View.Events, (std::vector<std::string>{"ERROR: No password found!", "minimize"}));
  EXPECT_EQ(View.Text, "unknown line");
  EXPECT_TRUE(View.History.empty());
}

TEST_F(ReplyFlow, EnterOnAnEmptyLineDoesNothing) {
  Settings.IconizeAfterUse = 1;
  Enter("");
  EXPECT_TRUE(View.Events.empty());
  EXPECT_TRUE(Asked.empty());
}

TEST_F(ReplyFlow, OtherCharactersGoToTheField) {
  View.Text = "BBS> <1>";
  EXPECT_FALSE(Line.EvInputChar('x'));
  EXPECT_FALSE(Line.EvInputChar('\n'));
  EXPECT_TRUE(View.Events.empty());
}

TEST_F(ReplyFlow, LongTextsAreCutTo255AndRepeatsAreFiledTwice) {
  std::string longText = "BBS> " + std::string(300, 'x');
  Enter(longText);
  ASSERT_EQ(Asked.size(), 1u);
  EXPECT_EQ(Asked[0], longText.substr(0, 255));
  Enter("BBS> <same>");
  Enter("BBS> <same>");
  EXPECT_EQ(View.History,
            (std::vector<std::string>{"BBS> <same>", "BBS> <same>", longText.substr(0, 255)}));
}

}  // namespace
}  // namespace korvel
