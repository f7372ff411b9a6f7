// The real Client Passwords Setup dialog of ZORVA.DLL under Wine: its
// resource layout, and an operator session driven with real messages through
// the edit export, bound by name, with the store in the prefix's registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <thread>

#include "ZORVAModule.h"
#include "Records.h"
#include "TestStores.h"
#include "WinDialogSupport.h"
#include "ZorvaResources.h"

namespace korvel {
namespace {

using namespace korvel::test;

// ---- the resource ---------------------------------------------------------

TEST(EditorResources, TheDialogsHoldTheirControlsInsideUnoverlappedInTabOrder) {
  HMODULE zorva = LoadLibraryA("ZORVA.DLL");
  ASSERT_TRUE(zorva);
  const TWantDialog dialogs[] = {
      {IDD_CLIENTPASSWORDSETUP,
       "Client Passwords Setup",
       WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP,
       {{IDC_SETUP_LIST, TKind::ListBox, "", "Client Password &List"},
        {IDC_SETUP_CHALLENGE, TKind::Edit, "", "C&hallenge"},
        {IDC_SETUP_PASSWORD, TKind::Edit, "", "&Password"},
        {IDC_SETUP_NETROM, TKind::RadioButton, "&NETROM Matrix"},
        {IDC_SETUP_MD2, TKind::RadioButton, "&MD2"},
        {IDC_SETUP_MD5, TKind::RadioButton, "M&D5"},
        {IDC_SETUP_ITANET, TKind::RadioButton, "&ITANET"},
        {IDC_SETUP_FLEXNET, TKind::RadioButton, "&FLEXNET"},
        {IDC_SETUP_MATRIX0, TKind::RadioButton, "Matrix from &0"},
        {IDC_SETUP_NOSMD5, TKind::RadioButton, "NO&S MD5"},
        {IDC_SETUP_FLEXDIGITS, TKind::RadioButton, "FlexNet Di&gits"},
        {IDC_SETUP_MATRIXLEN, TKind::Edit, "", "Matrix L&en"},
        {IDC_SETUP_DONE, TKind::PushButton, "D&one"},
        {IDC_SETUP_NEW, TKind::PushButton, "Ne&w"},
        {IDC_SETUP_CHANGE, TKind::PushButton, "&Change"},
        {IDC_SETUP_RENAME, TKind::PushButton, "&Rename"},
        {IDC_SETUP_DELETE, TKind::PushButton, "Dele&te"},
        {IDC_SETUP_HELP, TKind::PushButton, "&Help"}},
       {IDC_SETUP_LIST, IDC_SETUP_CHALLENGE, IDC_SETUP_PASSWORD, IDC_SETUP_NETROM,
        IDC_SETUP_MATRIXLEN, IDC_SETUP_DONE, IDC_SETUP_NEW, IDC_SETUP_CHANGE, IDC_SETUP_RENAME,
        IDC_SETUP_DELETE, IDC_SETUP_HELP}},
      {MAKEINTRESOURCEA(IDD_INPUTBOX),
       "",
       WS_CAPTION | WS_SYSMENU,
       {{IDC_INPUT_PROMPT, TKind::Label, ""},
        {IDC_INPUT_FIELD, TKind::Edit, ""},
        {IDOK, TKind::DefaultButton, "OK"},
        {IDCANCEL, TKind::PushButton, "Cancel"}},
       {IDC_INPUT_FIELD, IDOK, IDCANCEL}},
  };
  for (const TWantDialog& want : dialogs) {
    SCOPED_TRACE(IS_INTRESOURCE(want.Resource) ? "input box" : want.Resource);
    EXPECT_EQ(DialogProblems(zorva, want), std::vector<std::string>{});
  }
  FreeLibrary(zorva);
}

// ---- an operator session ---------------------------------------------------

std::vector<TClientPassword> StoredRecords() {
  TZORVAModule module(std::make_shared<TRegistryStore>());
  return module.ClientPasswords->Snapshot();
}

TEST(EditorSession, TheOperatorEditsTheListInTheRealDialog) {
  {
    ClearCalvek();
    auto store = std::make_shared<TRegistryStore>();
    TZORVAModule seed(store);
    *seed.ClientPasswords =
        List({Record("node", "NODE}", "abcdef", kNetromMatrix, "5"), Record("bbs", "BBS>", "old")});
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
    boxes.push_back(title + " [" + ItemText(box, IDC_INPUT_PROMPT) + "] was '" +
                    ItemText(box, IDC_INPUT_FIELD) + "'");
    SetItemText(box, IDC_INPUT_FIELD, text);
    Click(box, IDOK);
    WaitGone(box);
  };

  std::thread operatorThread([&] {
    HWND dialog = WaitForDialog("Client Passwords Setup");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    EXPECT_EQ(ListLines(dialog, IDC_SETUP_LIST), (std::vector<std::string>{"node", "bbs"}));
    EXPECT_EQ(ItemText(dialog, IDC_SETUP_CHALLENGE), "NODE}");
    EXPECT_EQ(ItemText(dialog, IDC_SETUP_MATRIXLEN), "5");
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_SETUP_NETROM), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SETUP_HELP)));

    Click(dialog, IDC_SETUP_RENAME);  // with nothing selected
    answer(dialog, "Client Passwords Setup", IDOK);

    SelectLine(dialog, IDC_SETUP_LIST, 1);
    EXPECT_EQ(ItemText(dialog, IDC_SETUP_CHALLENGE), "BBS>");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SETUP_MATRIXLEN)));
    SetItemText(dialog, IDC_SETUP_PASSWORD, "newpw");
    ClickNow(dialog, IDC_SETUP_MD5);
    ClickNow(dialog, IDC_SETUP_CHANGE);

    Click(dialog, IDC_SETUP_NEW);
    input("New Password TAG", "mail");

    SelectLine(dialog, IDC_SETUP_LIST, 0);
    Click(dialog, IDC_SETUP_RENAME);  // node
    input("Rename Password TAG", "BBS");
    answer(dialog, "Client Passwords Setup", IDOK);  // Duplicated TAGs!
    input("Rename Password TAG", "node2");

    SelectLine(dialog, IDC_SETUP_LIST, 0);
    SetItemText(dialog, IDC_SETUP_CHALLENGE, "unsaved");
    Click(dialog, IDC_SETUP_DELETE);
    answer(dialog, "Delete a Password TAG", IDYES);
    EXPECT_EQ(ListLines(dialog, IDC_SETUP_LIST), (std::vector<std::string>{"bbs", "mail"}));

    Click(dialog, IDC_SETUP_DONE);
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
