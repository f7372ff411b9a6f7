// The real Client Passwords Setup dialog of ZORVA.DLL under Wine: its
// resource layout, and an operator session driven with real messages through
// the edit export, bound by name, with the store in the prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <thread>

#include "ZORVAModule.h"
#include "RegStores.h"
#include "Records.h"
#include "TestStores.h"
#include "WinDialogSupport.h"

namespace korvel {
namespace {

using namespace korvel::test;

// ---- the resource ---------------------------------------------------------

TEST(EditorResources, TheSetupDialogHasTheLayoutOfItsTable) {
  HMODULE zorva = LoadLibraryA("ZORVA.DLL");
  ASSERT_TRUE(zorva);
  TTemplate t = ReadTemplate(zorva, "IDD_CLIENTPASSWORDSETUP");
  EXPECT_EQ(t.Title, "Client Passwords Setup");
  EXPECT_EQ(t.Font, "MS Sans Serif");
  EXPECT_EQ(t.PointSize, 8);
  EXPECT_EQ((std::vector<int>{t.X, t.Y, t.W, t.H}), (std::vector<int>{54, 34, 317, 203}));
  const unsigned frame = DS_MODALFRAME | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP;
  EXPECT_EQ(t.Style & frame, frame);

  struct TExpected {
    int Id;
    unsigned Class;
    std::string Text;
    int X, Y, W, H;
    unsigned Style;  // bits that must be set
  } expected[] = {
      {-1, 0x82, "Client Password &List", 8, 8, 59, 10, 0},
      {100, 0x83, "", 10, 20, 63, 170, LBS_NOTIFY | WS_VSCROLL},
      {-1, 0x82, "C&hallenge", 87, 24, 34, 12, 0},
      {101, 0x81, "", 127, 23, 106, 14, ES_AUTOHSCROLL},
      {-1, 0x82, "&Password", 87, 47, 34, 12, 0},
      {102, 0x81, "", 127, 46, 106, 14, ES_AUTOHSCROLL},
      {103, 0x80, "Algorithm &Type", 87, 76, 83, 92, BS_GROUPBOX},
      {104, 0x80, "&NETROM Matrix", 96, 90, 65, 10, BS_AUTORADIOBUTTON | WS_GROUP},
      {105, 0x80, "&MD2", 96, 105, 65, 10, BS_AUTORADIOBUTTON},
      {106, 0x80, "M&D5", 96, 121, 65, 10, BS_AUTORADIOBUTTON},
      {107, 0x80, "&ITANET", 96, 136, 65, 10, BS_AUTORADIOBUTTON},
      {109, 0x80, "&FLEXNET", 96, 151, 65, 10, BS_AUTORADIOBUTTON},
      {-1, 0x82, "Matrix L&en", 178, 93, 35, 9, WS_GROUP},
      {108, 0x81, "", 217, 90, 16, 12, ES_AUTOHSCROLL},
      {-1, 0x82, "", 248, 8, 1, 188, SS_ETCHEDFRAME},
      {1110, 0x80, "D&one", 262, 13, 42, 15, 0},
      {1111, 0x80, "Ne&w", 262, 32, 42, 15, 0},
      {1112, 0x80, "&Change", 262, 52, 42, 15, 0},
      {1113, 0x80, "&Rename", 262, 72, 42, 15, 0},
      {1114, 0x80, "Dele&te", 262, 92, 42, 15, 0},
      {9, 0x80, "&Help", 262, 112, 42, 15, WS_DISABLED},
  };
  ASSERT_EQ(t.Items.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const TItem& got = t.Items[i];
    const TExpected& want = expected[i];
    SCOPED_TRACE("control " + std::to_string(i) + " '" + want.Text + "'");
    EXPECT_EQ(got.Id, want.Id);
    EXPECT_EQ(got.Class, want.Class);
    EXPECT_EQ(got.Text, want.Text);
    EXPECT_EQ((std::vector<int>{got.X, got.Y, got.W, got.H}),
              (std::vector<int>{want.X, want.Y, want.W, want.H}));
    EXPECT_EQ(got.Style & want.Style, want.Style);
    EXPECT_TRUE(got.Style & WS_VISIBLE);
    if (want.Class == 0x83) {
      EXPECT_FALSE(got.Style & LBS_SORT);  // unsorted
    }
    if (want.Class == 0x80 && (want.Id == 9 || want.Id >= 1110)) {
      EXPECT_EQ(got.Style & 0xF, static_cast<unsigned>(BS_PUSHBUTTON));  // none is the default
    }
  }

  TTemplate input = ReadTemplate(zorva, MAKEINTRESOURCEA(32514));
  EXPECT_EQ((std::vector<int>{input.W, input.H}), (std::vector<int>{180, 64}));
  ASSERT_EQ(input.Items.size(), 4u);
  EXPECT_EQ(input.Items[0].Id, 4091);
  EXPECT_EQ(input.Items[1].Id, 4090);
  EXPECT_EQ(input.Items[2].Id, IDOK);
  EXPECT_EQ(input.Items[2].Style & 0xF, static_cast<unsigned>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(input.Items[3].Id, IDCANCEL);
  FreeLibrary(zorva);
}

// ---- an operator session ---------------------------------------------------

std::vector<TClientPassword> StoredRecords() {
  TZORVAModule module(MakeWin32RegStore());
  return module.ClientPasswords->Snapshot();
}

TEST(EditorSession, TheOperatorEditsTheListInTheRealDialog) {
  {
    std::shared_ptr<TRegStore> store = MakeWin32RegStore();
    ClearCalvek(*store);
    TZORVAModule seed(store);
    *seed.ClientPasswords = List({Record("node", "NODE}", "abcdef", kNetromMatrix, "5"),
                                  Record("bbs", "BBS>", "old")});
    ASSERT_EQ(seed.SaveClientPasswords(), -1);
  }
  HMODULE zorva = LoadLibraryA("ZORVA.DLL");
  ASSERT_TRUE(zorva);
  auto edit = reinterpret_cast<int(WINAPI*)(void*)>(
      reinterpret_cast<void*>(GetProcAddress(zorva, "ZORVAEditClientPasswordsDlg")));
  ASSERT_TRUE(edit);
  HWND owner = CreateWindowExA(0, "STATIC", "Korvel test owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner);

  std::vector<std::string> boxes;  // "caption: text" of every message box answered
  auto answer = [&](HWND dialog, const std::string& caption, int button) {
    HWND box = WaitForDialog(caption, dialog);
    if (!box) {
      boxes.push_back(caption + ": (none)");
      return;
    }
    boxes.push_back(caption + ": " + StaticTexts(box));
    Click(box, button);
    WaitGone(box);
  };
  auto input = [&](const std::string& title, const std::string& text) {
    HWND box = WaitForDialog(title);
    if (!box) {
      boxes.push_back(title + ": (no input box)");
      return;
    }
    boxes.push_back(title + " [" + ItemText(box, 4091) + "] was '" + ItemText(box, 4090) + "'");
    SetItemText(box, 4090, text);
    Click(box, IDOK);
    WaitGone(box);
  };

  std::thread operatorThread([&] {
    HWND dialog = WaitForDialog("Client Passwords Setup");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    EXPECT_EQ(ListLines(dialog, 100), (std::vector<std::string>{"node", "bbs"}));
    EXPECT_EQ(ItemText(dialog, 101), "NODE}");
    EXPECT_EQ(ItemText(dialog, 108), "5");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 104), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 9)));

    Click(dialog, 1113);  // Rename with nothing selected
    answer(dialog, "Client Passwords Setup", IDOK);

    SelectLine(dialog, 100, 1);
    EXPECT_EQ(ItemText(dialog, 101), "BBS>");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 108)));
    SetItemText(dialog, 102, "newpw");
    ClickNow(dialog, 106);  // MD5
    ClickNow(dialog, 1112);  // Change

    Click(dialog, 1111);  // New
    input("New Password TAG", "mail");

    SelectLine(dialog, 100, 0);
    Click(dialog, 1113);  // Rename node
    input("Rename Password TAG", "BBS");
    answer(dialog, "Client Passwords Setup", IDOK);  // Duplicated TAGs!
    input("Rename Password TAG", "node2");

    SelectLine(dialog, 100, 0);
    SetItemText(dialog, 101, "unsaved");
    Click(dialog, 1114);  // Delete
    answer(dialog, "Delete a Password TAG", IDYES);
    EXPECT_EQ(ListLines(dialog, 100), (std::vector<std::string>{"bbs", "mail"}));

    Click(dialog, 1110);  // Done
    WaitGone(dialog);
  });
  int result = edit(owner);
  operatorThread.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(boxes, (std::vector<std::string>{
                       "Client Passwords Setup: You must select an item!",
                       "New Password TAG [Insert new Password TAG] was ''",
                       "Rename Password TAG [Insert new name for the Password TAG] was 'node'",
                       "Client Passwords Setup: Duplicated TAGs!",
                       "Rename Password TAG [Insert new name for the Password TAG] was 'node'",
                       "Delete a Password TAG: Do you really want to delete the current item?"}));
  DestroyWindow(owner);

  auto stored = StoredRecords();  // the export stored the list when the dialog closed
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].Tag, "bbs");
  EXPECT_EQ(stored[0].String, "newpw");
  EXPECT_EQ(stored[0].Type, kMD5);
  EXPECT_EQ(stored[1].Tag, "mail");
  EXPECT_EQ(stored[1].Type, kMD2);
  FreeLibrary(zorva);
}

}  // namespace
}  // namespace korvel
