// The Client Passwords Setup dialog: the operator adds, changes, renames and
// deletes client passwords. It works on the live list; the edit export saves
// the list when the dialog has closed.
#pragma once

#include "ClientPassword.h"
#include "Dialog.h"
#include "ZorvaResources.h"

namespace korvel {

class TClientPasswordDialog : public TDialog {
 public:
  // Control ids of IDD_CLIENTPASSWORDSETUP.
  enum : int {
    IdList = IDC_SETUP_LIST,
    IdChallenge = IDC_SETUP_CHALLENGE,
    IdPassword = IDC_SETUP_PASSWORD,
    IdNetrom = IDC_SETUP_NETROM,
    IdMD2 = IDC_SETUP_MD2,
    IdMD5 = IDC_SETUP_MD5,
    IdItanet = IDC_SETUP_ITANET,
    IdMatrixLen = IDC_SETUP_MATRIXLEN,
    IdFlexnet = IDC_SETUP_FLEXNET,
    IdMatrix0 = IDC_SETUP_MATRIX0,
    IdNosMD5 = IDC_SETUP_NOSMD5,
    IdFlexnetDigits = IDC_SETUP_FLEXDIGITS,
    IdDone = IDC_SETUP_DONE,
    IdNew = IDC_SETUP_NEW,
    IdChange = IDC_SETUP_CHANGE,
    IdRename = IDC_SETUP_RENAME,
    IdDelete = IDC_SETUP_DELETE,
    IdHelp = IDC_SETUP_HELP,
  };
  static constexpr const char* kResource = IDD_CLIENTPASSWORDSETUP;
  static constexpr std::size_t kTagBuffer = 31;  // a TAG of at most 30 characters

  TClientPasswordDialog(TWindow parent, TClientPasswordList& records,
                        const TModule* module = nullptr);

  void SetupWindow() override;
  void EvCommand(int id, int notifyCode) override;

  bool Changed = false;
  int CurrentIndex = 0;

  void UpdateControls();
  void ShowRecord(int index);
  void StoreRecord();

 private:
  void Done();
  void New();
  void Rename();
  void Delete();
  void SelectionChange();
  // Asks "Save the changes?" when the fields hold unstored edits; Yes stores them.
  void AskToStore();
  TRadioButton* TypeButton(int type);

  TClientPasswordList& Records;
  TListBox List{*this, IdList};
  TEdit Challenge{*this, IdChallenge, 80};
  TEdit Password{*this, IdPassword, 256};
  TRadioButton Netrom{*this, IdNetrom, 1};
  TRadioButton MD2{*this, IdMD2, 1};
  TRadioButton MD5{*this, IdMD5, 1};
  TRadioButton Itanet{*this, IdItanet, 1};
  TRadioButton Flexnet{*this, IdFlexnet, 1};
  TRadioButton Matrix0{*this, IdMatrix0, 1};
  TRadioButton NosMD5{*this, IdNosMD5, 1};
  TRadioButton FlexnetDigits{*this, IdFlexnetDigits, 1};
  TEdit MatrixLen{*this, IdMatrixLen, 3};
  TButton DoneButton{*this, IdDone};
  TButton NewButton{*this, IdNew};
  TButton ChangeButton{*this, IdChange};
  TButton RenameButton{*this, IdRename};
  TButton DeleteButton{*this, IdDelete};
};

}  // namespace korvel
