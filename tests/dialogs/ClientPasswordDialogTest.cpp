// The Client Passwords Setup dialog, played headless: what the operator sees,
// what the dialog asks, and what ends up in the list and the store.
#include <gtest/gtest.h>

#include "ClientPasswordDialog.h"
#include "EditExport.h"
#include "Headless.h"
#include "MemoryStore.h"
#include "Records.h"

namespace korvel {
namespace {

using D = TClientPasswordDialog;

// Every type's button, the type it stands for, and whether that type has a matrix length.
struct TTypeButton {
  int Id;
  int Type;
  bool Matrix;
};
const TTypeButton kTypeButtons[] = {{D::IdNetrom, kNetromMatrix, true},
                                    {D::IdMD2, kMD2, false},
                                    {D::IdMD5, kMD5, false},
                                    {D::IdItanet, kItanet, false},
                                    {D::IdFlexnet, kFlexnet, false},
                                    {D::IdMatrix0, kMatrix0, true},
                                    {D::IdNosMD5, kNosMD5, false},
                                    {D::IdFlexnetDigits, kFlexnetDigits, false}};

const std::vector<int> kFieldsAndButtons = {
    D::IdChange,   D::IdRename,  D::IdDelete, D::IdList,          D::IdChallenge,
    D::IdPassword, D::IdNetrom,  D::IdMD2,    D::IdMD5,           D::IdItanet,
    D::IdFlexnet,  D::IdMatrix0, D::IdNosMD5, D::IdFlexnetDigits, D::IdMatrixLen};

class EditorDialog : public ::testing::Test {
 protected:
  std::shared_ptr<THeadlessPlatform> Script = std::make_shared<THeadlessPlatform>();
  TClientPasswordList Records;
  void SetUp() override { SetPlatform(Script); }
  void TearDown() override {
    EXPECT_FALSE(Script->Unanswered) << "the dialog asked something the script did not expect";
    EXPECT_TRUE(Script->Answers.empty() && Script->InputAnswers.empty()) << "answers left over";
  }

  void Add(std::string tag, std::string prompt, std::string password, int type,
           std::string matrixLen = "") {
    test::Append(Records, test::Record(std::move(tag), std::move(prompt), std::move(password), type,
                                       std::move(matrixLen)));
  }
  // Runs the dialog with `play` as the operator; returns its end code.
  int Run(std::function<void(THeadlessDialog&, D&)> play) {
    D dialog(TWindow{}, Records);
    Script->Drivers.push_back([&](THeadlessDialog& ui) { play(ui, dialog); });
    return dialog.Execute();
  }
  std::vector<std::string> Asked() const {
    std::vector<std::string> out;
    for (const auto& m : Script->Messages) out.push_back(m.Text);
    return out;
  }
  std::vector<int> Checked(THeadlessDialog& ui) {
    std::vector<int> out;
    for (const TTypeButton& button : kTypeButtons)
      if (ui.GetCheck(button.Id)) out.push_back(button.Id);
    return out;
  }
};

TEST_F(EditorDialog, OpenEmptyThenNewAndChangeFillsTheNewRecord) {
  Script->InputAnswers.push_back("DB0ABC");
  int code = Run([&](THeadlessDialog& ui, D& dialog) {
    EXPECT_TRUE(ui.IsEnabled(D::IdDone));
    EXPECT_TRUE(ui.IsEnabled(D::IdNew));
    for (int id : kFieldsAndButtons) EXPECT_FALSE(ui.IsEnabled(id)) << id;
    EXPECT_EQ(ui.GetText(D::IdChallenge), "");
    EXPECT_EQ(dialog.CurrentIndex, 0);
    EXPECT_TRUE(ui.TooltipCreated());
    EXPECT_EQ(ui.TextLimit(D::IdChallenge), 79u);
    EXPECT_EQ(ui.TextLimit(D::IdPassword), 255u);
    EXPECT_EQ(ui.TextLimit(D::IdMatrixLen), 2u);

    ui.Click(D::IdNew);
    EXPECT_EQ(ui.ListLines(D::IdList), std::vector<std::string>{"DB0ABC"});
    for (int id : kFieldsAndButtons) EXPECT_TRUE(ui.IsEnabled(id)) << id;
    EXPECT_EQ(ui.ListSelection(D::IdList), -1);  // the new record is not selected
    EXPECT_FALSE(dialog.Changed);

    ui.Type(D::IdChallenge, "DB0ABC}");
    ui.Type(D::IdPassword, "abcdef");
    ui.Click(D::IdNetrom);
    ui.Type(D::IdMatrixLen, "5");
    EXPECT_TRUE(dialog.Changed);
    ui.Click(D::IdChange);
    EXPECT_FALSE(dialog.Changed);
    ui.Click(D::IdDone);
  });
  EXPECT_EQ(code, kIdCancel);
  ASSERT_EQ(Script->Inputs.size(), 1u);
  EXPECT_EQ(Script->Inputs[0].Title, "New Password TAG");
  EXPECT_EQ(Script->Inputs[0].Prompt, "Insert new Password TAG");
  EXPECT_EQ(Script->Inputs[0].Initial, "");
  ASSERT_EQ(Records.Count(), 1);
  const TClientPassword& r = Records.At(0);
  EXPECT_EQ(r.Tag, "DB0ABC");
  EXPECT_EQ(r.Challenge, "DB0ABC}");
  EXPECT_EQ(r.String, "abcdef");
  EXPECT_EQ(r.Type, kNetromMatrix);
  EXPECT_EQ(r.MatrixLen, "5");
  EXPECT_TRUE(Asked().empty());
}

TEST_F(EditorDialog, OpenWithRecordsShowsTheFirstWithoutSelectingIt) {
  Add("node", "NODE}", "matrixpw", kNetromMatrix, "4");
  Add("bbs", "BBS>", "md5pw", kMD5);
  Run([&](THeadlessDialog& ui, D& dialog) {
    EXPECT_EQ(ui.ListLines(D::IdList), (std::vector<std::string>{"node", "bbs"}));
    EXPECT_EQ(ui.ListSelection(D::IdList), -1);
    EXPECT_EQ(ui.GetText(D::IdChallenge), "NODE}");
    EXPECT_EQ(ui.GetText(D::IdPassword), "matrixpw");
    EXPECT_EQ(ui.GetText(D::IdMatrixLen), "4");
    EXPECT_TRUE(ui.IsEnabled(D::IdMatrixLen));
    EXPECT_EQ(Checked(ui), std::vector<int>{D::IdNetrom});
    EXPECT_FALSE(dialog.Changed);  // filling the fields is no edit
    ui.Click(D::IdRename);
    ui.Click(D::IdDelete);
    ui.Type(D::IdPassword, "new");
    ui.Click(D::IdChange);  // stores into record 0, the one shown
    ui.Escape();
  });
  EXPECT_EQ(Asked(),
            (std::vector<std::string>{"You must select an item!", "You must select an item!"}));
  EXPECT_EQ(Script->Messages[0].Caption, "Client Passwords Setup");
  EXPECT_EQ(Script->Messages[0].Flags, kMbOk);
  EXPECT_EQ(Records.At(0).String, "new");
  EXPECT_EQ(Records.Count(), 2);
}

TEST_F(EditorDialog, RenameRefusesAnyTagInTheListWhateverItsCase) {
  Add("node", "", "", kMD2);
  Add("bbs", "", "", kMD2);
  Script->InputAnswers = {"NODE", "Bbs", "mailbox"};
  Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Select(D::IdList, 0);
    ui.Click(D::IdRename);
    EXPECT_EQ(ui.ListLines(D::IdList), (std::vector<std::string>{"mailbox", "bbs"}));
    EXPECT_EQ(ui.ListSelection(D::IdList), -1);
    EXPECT_EQ(dialog.CurrentIndex, 0);
    ui.Click(D::IdDone);
  });
  EXPECT_EQ(Asked(), (std::vector<std::string>{"Duplicated TAGs!", "Duplicated TAGs!"}));
  ASSERT_EQ(Script->Inputs.size(), 3u);
  for (const auto& input : Script->Inputs) {
    EXPECT_EQ(input.Title, "Rename Password TAG");
    EXPECT_EQ(input.Prompt, "Insert new name for the Password TAG");
    EXPECT_EQ(input.Initial, "node");  // filled again each time
  }
  EXPECT_EQ(Records.At(0).Tag, "mailbox");
}

TEST_F(EditorDialog, RenameCancelChangesNothingAndLongTagsAreCut) {
  Add(std::string(40, 't'), "", "", kMD2);
  Script->InputAnswers = {std::nullopt, std::string(45, 'x')};
  Run([&](THeadlessDialog& ui, D&) {
    ui.Select(D::IdList, 0);
    ui.Click(D::IdRename);
    EXPECT_EQ(Records.At(0).Tag, std::string(40, 't'));
    ui.Select(D::IdList, 0);
    ui.Click(D::IdRename);
  });
  EXPECT_EQ(Script->Inputs[0].Initial, std::string(30, 't'));
  EXPECT_EQ(Records.At(0).Tag, std::string(30, 'x'));  // the box takes 30 characters
}

TEST_F(EditorDialog, NewAcceptsEmptyAndDuplicateTags) {
  Add("node", "", "", kMD2);
  Script->InputAnswers = {"", "node", std::nullopt};
  Run([&](THeadlessDialog& ui, D&) {
    ui.Click(D::IdNew);
    ui.Click(D::IdNew);
    ui.Click(D::IdNew);  // cancelled
  });
  ASSERT_EQ(Records.Count(), 3);
  EXPECT_EQ(Records.At(1).Tag, "");
  EXPECT_EQ(Records.At(2).Tag, "node");
  EXPECT_EQ(Records.At(2).Type, kMD2);
}

TEST_F(EditorDialog, SelectionChangeAsksToSaveUnstoredEdits) {
  Add("a", "A>", "", kMD2);
  Add("b", "B>", "", kMD2);
  Script->Answers = {kIdNo, kIdYes};
  Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Type(D::IdChallenge, "edited");
    ui.Select(D::IdList, 1);  // No: the edit is dropped
    EXPECT_EQ(ui.GetText(D::IdChallenge), "B>");
    EXPECT_FALSE(dialog.Changed);
    ui.Type(D::IdChallenge, "edited B");
    ui.Select(D::IdList, 0);  // Yes: stored into record 1, the one shown before
    EXPECT_EQ(dialog.CurrentIndex, 0);
    EXPECT_EQ(ui.GetText(D::IdChallenge), "A>");
  });
  EXPECT_EQ(Asked(), (std::vector<std::string>{"Save the changes?", "Save the changes?"}));
  EXPECT_EQ(Script->Messages[0].Caption, "Information");
  EXPECT_EQ(Script->Messages[0].Flags, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(Records.At(0).Challenge, "A>");
  EXPECT_EQ(Records.At(1).Challenge, "edited B");
}

TEST_F(EditorDialog, AnotherAlgorithmDisablesMatrixLenButKeepsItsText) {
  Add("node", "N", "pw", kNetromMatrix, "7");
  Script->Answers = {kIdYes};
  Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Click(D::IdMD5);
    EXPECT_TRUE(dialog.Changed);
    EXPECT_FALSE(ui.IsEnabled(D::IdMatrixLen));
    EXPECT_EQ(ui.GetText(D::IdMatrixLen), "7");
    EXPECT_EQ(Checked(ui), std::vector<int>{D::IdMD5});
    ui.Click(D::IdDone);  // asks, Yes stores
  });
  EXPECT_EQ(Records.At(0).Type, kMD5);
  EXPECT_EQ(Records.At(0).MatrixLen, "");
}

// Each button stores its type; Matrix Len is open, and stored, for the two
// matrix types only.
TEST_F(EditorDialog, EachTypeButtonStoresItsType) {
  for (const TTypeButton& button : kTypeButtons) {
    SCOPED_TRACE(button.Type);
    Records.Flush();
    Add("node", "N", "pw", button.Type == kMD2 ? kMD5 : kMD2);
    Run([&](THeadlessDialog& ui, D&) {
      EXPECT_FALSE(ui.IsEnabled(D::IdMatrixLen));
      ui.Click(button.Id);
      EXPECT_EQ(Checked(ui), std::vector<int>{button.Id});
      EXPECT_EQ(ui.IsEnabled(D::IdMatrixLen), button.Matrix);
      ui.Type(D::IdMatrixLen, "6");
      ui.Click(D::IdChange);
    });
    EXPECT_EQ(Records.At(0).Type, button.Type);
    EXPECT_EQ(Records.At(0).MatrixLen, button.Matrix ? "6" : "");
  }
}

// Showing a record checks its type's button alone and shows its matrix
// length; Change with nothing edited stores the record as it was, with the
// values the dialog does not show.
TEST_F(EditorDialog, EachTypeShowsItsButtonAndChangeKeepsTheRecord) {
  for (const TTypeButton& button : kTypeButtons)
    Add("t" + std::to_string(button.Type), "P>", "pw", button.Type, button.Matrix ? "5" : "");
  Records.At(0).ReplyLine = "PASSWORD %s";  // values the dialog does not show
  Records.At(0).Trigger = "pw";
  const std::vector<TClientPassword> before = Records.Snapshot();
  Run([&](THeadlessDialog& ui, D&) {
    for (int line = 0; line < Records.Count(); ++line) {
      const TTypeButton& button = kTypeButtons[line];
      SCOPED_TRACE(button.Type);
      ui.Select(D::IdList, line);
      EXPECT_EQ(Checked(ui), std::vector<int>{button.Id});
      EXPECT_EQ(ui.IsEnabled(D::IdMatrixLen), button.Matrix);
      EXPECT_EQ(ui.GetText(D::IdMatrixLen), button.Matrix ? "5" : "");
      ui.Click(D::IdChange);
    }
  });
  EXPECT_EQ(Records.Snapshot(), before);
}

TEST_F(EditorDialog, MatrixLenTakesAnyTwoCharacters) {
  Add("node", "N", "pw", kNetromMatrix, "5");
  Run([&](THeadlessDialog& ui, D&) {
    ui.Type(D::IdMatrixLen, "x9z");
    ui.Click(D::IdChange);
  });
  EXPECT_EQ(Records.At(0).MatrixLen, "x9");
}

TEST_F(EditorDialog, DeletingTheLastRecordClearsAndDisablesEverything) {
  Add("only", "P>", "pw", kNetromMatrix, "3");
  Script->Answers = {kIdCancel, kIdYes};
  Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Select(D::IdList, 0);
    ui.Click(D::IdDelete);  // Cancel: nothing happens
    EXPECT_EQ(Records.Count(), 1);
    ui.Type(D::IdPassword, "unsaved");
    ui.Click(D::IdDelete);
    EXPECT_EQ(Records.Count(), 0);
    EXPECT_EQ(ui.ListCount(D::IdList), 0);
    EXPECT_EQ(dialog.CurrentIndex, -1);
    EXPECT_FALSE(dialog.Changed);
    EXPECT_EQ(ui.GetText(D::IdChallenge), "");
    EXPECT_EQ(ui.GetText(D::IdPassword), "");
    EXPECT_EQ(ui.GetText(D::IdMatrixLen), "");
    EXPECT_TRUE(Checked(ui).empty());
    for (int id : kFieldsAndButtons) EXPECT_FALSE(ui.IsEnabled(id)) << id;
  });
  ASSERT_EQ(Script->Messages.size(), 2u);
  EXPECT_EQ(Script->Messages[1].Text, "Do you really want to delete the current item?");
  EXPECT_EQ(Script->Messages[1].Caption, "Delete a Password TAG");
  EXPECT_EQ(Script->Messages[1].Flags, kMbYesNoCancel | kMbIconQuestion);
}

TEST_F(EditorDialog, ChangeWithoutACurrentRecordTouchesNothing) {
  Add("a", "A>", "1", kMD2);
  Add("b", "B>", "2", kMD2);
  Script->Answers = {kIdYes, kIdYes};
  Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Select(D::IdList, 0);
    ui.Click(D::IdDelete);
    EXPECT_EQ(dialog.CurrentIndex, -1);
    EXPECT_EQ(ui.GetText(D::IdChallenge), "A>");  // still the deleted record's values
    ui.Type(D::IdChallenge, "lost");
    ui.Click(D::IdChange);
    ui.Click(D::IdDone);  // Yes to "Save the changes?": the same answer
  });
  EXPECT_EQ(Asked(), (std::vector<std::string>{"Do you really want to delete the current item?",
                                               "You must select an item!", "Save the changes?",
                                               "You must select an item!"}));
  ASSERT_EQ(Records.Count(), 1);
  EXPECT_EQ(Records.At(0).Challenge, "B>");
}

TEST_F(EditorDialog, HelpDoesNothingAndEnterEndsWithoutTheQuestion) {
  Add("a", "A>", "1", kMD2);
  int code = Run([&](THeadlessDialog& ui, D& dialog) {
    ui.Press(D::IdHelp);
    EXPECT_FALSE(ui.Ended());
    ui.Type(D::IdChallenge, "dropped");
    EXPECT_TRUE(dialog.Changed);
    ui.Press(kIdOk);  // Enter in a field
  });
  EXPECT_EQ(code, kIdOk);
  EXPECT_TRUE(Asked().empty());
  EXPECT_EQ(Records.At(0).Challenge, "A>");
}

// The edit export's sequence: reload, run, store whichever way it closed.
class EditSequence : public EditorDialog {
 protected:
  std::shared_ptr<test::TMemoryStore> Store = std::make_shared<test::TMemoryStore>();
};

TEST_F(EditSequence, EscAfterNewAndDeleteStoresTheListAsLeft) {
  {
    TZORVAModule seed(Store);
    seed.ClientPasswords->Add(std::make_unique<TClientPassword>("old"));
    ASSERT_EQ(seed.SaveClientPasswords(), -1);
  }
  TZORVAModule module(Store);
  {
    // Another process stores a second record: the dialog must show it.
    TZORVAModule other(Store);
    other.ClientPasswords->Add(std::make_unique<TClientPassword>("from elsewhere"));
    ASSERT_EQ(other.SaveClientPasswords(), -1);
  }
  Script->InputAnswers.push_back("added");
  Script->Answers.push_back(kIdYes);
  Script->Drivers.push_back([](THeadlessDialog& ui) {
    EXPECT_EQ(ui.ListLines(D::IdList), (std::vector<std::string>{"old", "from elsewhere"}));
    ui.Click(D::IdNew);
    ui.Select(D::IdList, 0);
    ui.Click(D::IdDelete);
    ui.Escape();
  });
  EXPECT_EQ(EditClientPasswords(module, TWindow{}), 1);
  TZORVAModule reloaded(Store);
  ASSERT_EQ(reloaded.ClientPasswords->Count(), 2);
  EXPECT_EQ(reloaded.ClientPasswords->At(0).Tag, "from elsewhere");
  EXPECT_EQ(reloaded.ClientPasswords->At(1).Tag, "added");
}

// A record that cannot be written is named; a store that cannot be opened at
// all is not blamed on record 0. Either way the list in memory is kept.
TEST_F(EditSequence, AStoreThatCannotBeWrittenIsReportedAndTheListKept) {
  struct Case {
    bool RefuseSaves;
    int RefuseRecord;
    const char* Message;
  } cases[] = {
      {true, -1, "The password store could not be opened for writing"},
      {false, 1, "Error Writing Password 1"},
  };
  for (const Case& c : cases) {
    auto faulty = std::make_shared<test::TMemoryStore>();
    TZORVAModule module(faulty);
    module.ClientPasswords->Add(std::make_unique<TClientPassword>("first"));
    faulty->RefuseSaves = c.RefuseSaves;
    faulty->RefuseRecord = c.RefuseRecord;
    Script->Messages.clear();
    Script->InputAnswers.push_back("kept");
    Script->Drivers.push_back([](THeadlessDialog& ui) { ui.Click(D::IdNew); });
    // The reload at the start finds no list: the one in memory stays.
    EXPECT_EQ(EditClientPasswords(module, TWindow{}), 1);
    ASSERT_EQ(Script->Messages.size(), 1u) << c.Message;
    EXPECT_EQ(Script->Messages[0].Text, c.Message);
    EXPECT_EQ(Script->Messages[0].Caption, "TAVRIK ERROR");
    EXPECT_EQ(Script->Messages[0].Flags, kMbOk);
    ASSERT_EQ(module.ClientPasswords->Count(), 2);
    EXPECT_EQ(module.ClientPasswords->At(1).Tag, "kept");
  }
}

}  // namespace
}  // namespace korvel
