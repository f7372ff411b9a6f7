#include "ClientPasswordDialog.h"

#include "CharClass.h"

namespace korvel {
namespace {

constexpr char kTitle[] = "Client Passwords Setup";
constexpr char kSelectItem[] = "You must select an item!";
// The types run from kNetromMatrix to this one, each with its button.
constexpr int kLastType = kFlexnetDigits;

// Both matrix types keep a matrix length; no other type has one.
bool HasMatrixLen(int type) { return type == kNetromMatrix || type == kMatrix0; }

}  // namespace

TClientPasswordDialog::TClientPasswordDialog(TWindow parent, TClientPasswordList& records,
                                             const TModule* module)
    : TDialog(parent, kResource, module), Records(records) {
  Caption = kTitle;  // message boxes shown without a caption get the dialog's title
}

TRadioButton* TClientPasswordDialog::TypeButton(int type) {
  switch (type) {
    case kNetromMatrix: return &Netrom;
    case kMD2: return &MD2;
    case kMD5: return &MD5;
    case kItanet: return &Itanet;
    case kFlexnet: return &Flexnet;
    case kMatrix0: return &Matrix0;
    case kNosMD5: return &NosMD5;
    case kFlexnetDigits: return &FlexnetDigits;
    default: return nullptr;
  }
}

void TClientPasswordDialog::SetupWindow() {
  TDialog::SetupWindow();
  UpdateControls();
  for (int i = 0; i < Records.Count(); ++i) List.AddString(Records.At(i).Tag);
  if (Records.Count() > 0) ShowRecord(0);
  Changed = false;
  Backend().CreateTooltip();
}

void TClientPasswordDialog::UpdateControls() {
  DoneButton.EnableWindow(true);
  NewButton.EnableWindow(true);
  bool any = Records.Count() > 0;
  for (TControl* control : std::initializer_list<TControl*>{
           &ChangeButton, &RenameButton, &DeleteButton, &List, &Challenge, &Password, &Netrom, &MD2,
           &MD5, &Itanet, &Flexnet, &Matrix0, &NosMD5, &FlexnetDigits, &MatrixLen})
    control->EnableWindow(any);
}

void TClientPasswordDialog::ShowRecord(int index) {
  if (!Records.Valid(index)) return;
  const TClientPassword& record = Records.At(index);
  Password.SetText(record.String);
  Challenge.SetText(record.Challenge);
  TRadioButton* chosen = TypeButton(record.Type);
  if (!chosen) return;  // a type outside 0 to 7 leaves the buttons as they are
  for (int type = kNetromMatrix; type <= kLastType; ++type) TypeButton(type)->SetCheck(0);
  chosen->Check();
  if (HasMatrixLen(record.Type)) {
    MatrixLen.EnableWindow(true);
    MatrixLen.SetText(record.MatrixLen);
  } else {
    MatrixLen.Clear();
    MatrixLen.EnableWindow(false);
  }
}

void TClientPasswordDialog::StoreRecord() {
  if (!Records.Valid(CurrentIndex)) {
    // After a Delete there is no current record to store into.
    ShowMessageBox(kSelectItem, "", kMbOk);
    return;
  }
  TClientPassword& record = Records.At(CurrentIndex);
  record.String = Password.GetText();
  record.Challenge = Challenge.GetText();
  for (int type = kNetromMatrix; type <= kLastType; ++type) {
    if (TypeButton(type)->GetCheck()) {
      record.Type = type;
      record.MatrixLen = HasMatrixLen(type) ? MatrixLen.GetText() : std::string();
      break;
    }
  }
  Changed = false;
}

void TClientPasswordDialog::AskToStore() {
  if (Changed &&
      ShowMessageBox("Save the changes?", "Information", kMbYesNo | kMbIconQuestion) == kIdYes)
    StoreRecord();
}

void TClientPasswordDialog::EvCommand(int id, int notifyCode) {
  switch (id) {
    case IdDone: return Done();
    case IdNew: return New();
    case IdChange: return StoreRecord();
    case IdRename: return Rename();
    case IdDelete: return Delete();
    case IdHelp: return;
    case IdNetrom:
    case IdMatrix0:
      if (notifyCode != kBnClicked) return;
      Changed = true;
      MatrixLen.EnableWindow(true);
      return;
    case IdMD2:
    case IdMD5:
    case IdItanet:
    case IdFlexnet:
    case IdNosMD5:
    case IdFlexnetDigits:
      if (notifyCode != kBnClicked) return;
      Changed = true;
      MatrixLen.EnableWindow(false);  // its text stays
      return;
    case IdList:
      if (notifyCode == kLbnSelChange) SelectionChange();
      return;
    case IdChallenge:
    case IdPassword:
    case IdMatrixLen:
      if (notifyCode == kEnChange) Changed = true;
      return;
    default: TDialog::EvCommand(id, notifyCode);
  }
}

void TClientPasswordDialog::Done() {
  AskToStore();
  CloseWindow(kIdCancel);
}

void TClientPasswordDialog::New() {
  AskToStore();
  std::string tag;
  TInputDialog input(TWindow{Backend().Handle()}, "New Password TAG", "Insert new Password TAG",
                     tag, kTagBuffer, GetModule());
  if (input.Execute() != kIdOk) return;
  auto record = std::make_unique<TClientPassword>(tag);
  record->Type = kMD2;  // a definite type, as the store's reader gives an unknown one
  Records.Add(std::move(record));
  List.AddString(tag);
  UpdateControls();
}

void TClientPasswordDialog::Rename() {
  int line = List.GetSelIndex();
  if (line < 0 || !Records.Valid(line)) {
    ShowMessageBox(kSelectItem, "", kMbOk);
    return;
  }
  for (;;) {
    std::string tag = List.GetString(line).substr(0, kTagBuffer - 1);
    TInputDialog input(TWindow{Backend().Handle()}, "Rename Password TAG",
                       "Insert new name for the Password TAG", tag, kTagBuffer, GetModule());
    if (input.Execute() != kIdOk) return;
    bool duplicate = false;
    for (int i = 0; i < List.GetCount() && !duplicate; ++i)
      duplicate = EqualNoCase(List.GetString(i), tag);  // letter case ignored
    if (duplicate) {
      ShowMessageBox("Duplicated TAGs!", "", kMbOk);
      continue;
    }
    Records.At(line).Tag = tag;
    List.DeleteString(line);
    List.InsertString(tag, line);
    return;
  }
}

void TClientPasswordDialog::Delete() {
  int line = List.GetSelIndex();
  if (line < 0 || !Records.Valid(line)) {
    ShowMessageBox(kSelectItem, "", kMbOk);
    return;
  }
  if (ShowMessageBox("Do you really want to delete the current item?", "Delete a Password TAG",
                     kMbYesNoCancel | kMbIconQuestion) != kIdYes)
    return;
  List.DeleteString(line);
  Records.Detach(line, true);
  CurrentIndex = List.GetSelIndex();
  if (Records.Count() == 0) {
    Challenge.Clear();
    Password.Clear();
    MatrixLen.Clear();
    for (int type = kNetromMatrix; type <= kLastType; ++type) TypeButton(type)->Uncheck();
    UpdateControls();
  }
  Changed = false;
}

void TClientPasswordDialog::SelectionChange() {
  AskToStore();
  CurrentIndex = List.GetSelIndex();
  ShowRecord(CurrentIndex);
  Changed = false;
}

}  // namespace korvel
