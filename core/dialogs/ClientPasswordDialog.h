// The Client Passwords Setup dialog: the operator adds, changes, renames and
// deletes client passwords. It works on the live list; the edit export saves
// the list when the dialog has closed.
#pragma once

#include "ClientPassword.h"
#include "Dialog.h"

namespace korvel {

class TClientPasswordDialog : public TDialog {
 public:
  // Control ids of IDD_CLIENTPASSWORDSETUP.
  enum : int {
    IdList = 100,
    IdChallenge = 101,
    IdPassword = 102,
    IdNetrom = 104,
    IdMD2 = 105,
    IdMD5 = 106,
    IdItanet = 107,
    IdMatrixLen = 108,
    IdFlexnet = 109,
    IdDone = 1110,
    IdNew = 1111,
    IdChange = 1112,
    IdRename = 1113,
    IdDelete = 1114,
    IdHelp = 9,
  };
  static constexpr const char* kResource = "IDD_CLIENTPASSWORDSETUP";
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
  TEdit MatrixLen{*this, IdMatrixLen, 3};
  TButton DoneButton{*this, IdDone};
  TButton NewButton{*this, IdNew};
  TButton ChangeButton{*this, IdChange};
  TButton RenameButton{*this, IdRename};
  TButton DeleteButton{*this, IdDelete};
};

}  // namespace korvel
