#include "Dialog.h"

#include <string>
#include <cstring>

#include "Decimal.h"

namespace korvel {

namespace {

// Until a program installs its window system, nobody can answer: dialogs end
// as if Esc was pressed, message boxes as if their default was chosen.
class TNoWindowsPlatform final : public TPlatform {
 public:
  int RunModal(TDialog&) override { return kIdCancel; }
  int ShowMessageBox(void*, std::string_view, std::string_view, unsigned flags) override {
    return (flags & 0xF) == kMbOk ? kIdOk : kIdCancel;
  }
};

std::shared_ptr<TPlatform>& CurrentPlatform() {
  static std::shared_ptr<TPlatform> platform = std::make_shared<TNoWindowsPlatform>();
  return platform;
}

}  // namespace

TPlatform& Platform() { return *CurrentPlatform(); }
void SetPlatform(std::shared_ptr<TPlatform> platform) { CurrentPlatform() = std::move(platform); }

TControl::TControl(TDialog& parent, int id) : Parent(parent), Id(id) { parent.AddChild(this); }
TDialogBackend& TControl::Backend() const { return Parent.Backend(); }
void TControl::EnableWindow(bool enable) { Backend().Enable(Id, enable); }
bool TControl::IsWindowEnabled() const { return Backend().IsEnabled(Id); }

std::string TEdit::GetText() const { return Backend().GetText(Id); }
void TEdit::SetText(std::string_view text) { Backend().SetText(Id, text); }
void TEdit::SetupControl() {
  Backend().Declare(Id, TControlKind::Edit);
  if (TextLimit > 1) Backend().SetTextLimit(Id, TextLimit - 1);
  if (Validator && Validator->DigitsOnly()) Backend().SetDigitsOnly(Id);
}

void TEdit::Transfer(void* field, TTransferDirection direction) {
  if (TextLimit == 0) return;
  char* text = static_cast<char*>(field);
  if (direction == TTransferDirection::SetData) {
    SetText(std::string_view(text, strnlen(text, TextLimit - 1)));
  } else {
    std::string value = GetText().substr(0, TextLimit - 1);
    std::memcpy(text, value.c_str(), value.size() + 1);
  }
}

bool TEdit::IsValid() {
  if (!Validator || Validator->IsValid(GetText())) return true;
  Validator->Error(Parent);
  Backend().SetFocus(Id);
  return false;
}

bool TRangeValidator::IsValid(const std::string& text) const {
  if (text.empty() || text.size() > 9) return false;
  const TDecimal number = ReadDecimal(text);
  if (number.Digits != text.size()) return false;      // digits only
  const auto value = static_cast<long>(number.Value);  // nine digits fit a long
  return value >= Min && value <= Max;
}

void TRangeValidator::Error(TDialog& dialog) const {
  const std::string text =
      "Value is not in the range " + std::to_string(Min) + " to " + std::to_string(Max) + ".";
  dialog.ShowMessageBox(text, "", kMbOk | kMbIconExclamation);
}

uint16_t THotKey::GetHotKey() const { return Backend().GetHotKey(Id); }
void THotKey::SetHotKey(uint16_t code) { Backend().SetHotKey(Id, code); }
void THotKey::Transfer(void* field, TTransferDirection direction) {
  auto* code = static_cast<uint16_t*>(field);
  if (direction == TTransferDirection::SetData)
    SetHotKey(*code);
  else
    *code = GetHotKey();
}

void TCheckBox::SetCheck(int state) { Backend().SetCheck(Id, state); }
int TCheckBox::GetCheck() const { return Backend().GetCheck(Id); }
void TCheckBox::Transfer(void* field, TTransferDirection direction) {
  auto* state = static_cast<uint16_t*>(field);
  if (direction == TTransferDirection::SetData)
    SetCheck(*state ? 1 : 0);
  else
    *state = GetCheck() == 1 ? 1 : 0;
}

int TListBox::GetCount() const { return Backend().ListCount(Id); }
std::string TListBox::GetString(int index) const { return Backend().ListText(Id, index); }
void TListBox::AddString(std::string_view text) { Backend().ListInsert(Id, text, -1); }
void TListBox::InsertString(std::string_view text, int index) {
  Backend().ListInsert(Id, text, index);
}
void TListBox::DeleteString(int index) { Backend().ListDelete(Id, index); }
int TListBox::GetSelIndex() const { return Backend().ListSelection(Id); }
void TListBox::SetSelIndex(int index) { Backend().ListSelect(Id, index); }

void TDialog::SetupWindow() {
  for (TControl* child : Children) child->SetupControl();
  TransferData(TTransferDirection::SetData);
}

void TDialog::TransferData(TTransferDirection direction) {
  for (const TBinding& binding : Transfers) binding.Control->Transfer(binding.Field, direction);
}

bool TDialog::CanClose() {
  for (TControl* child : Children)
    if (auto* edit = dynamic_cast<TEdit*>(child); edit && !edit->IsValid()) return false;
  return true;
}

void TDialog::CmOk() {
  if (!CanClose()) return;
  TransferData(TTransferDirection::GetData);
  CloseWindow(kIdOk);
}

void TDialog::EvCommand(int id, int) {
  if (id == kIdOk)
    CmOk();
  else if (id == kIdCancel)
    CmCancel();
}

int TDialog::ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags) {
  return Platform().ShowMessageBox(Running() ? Backend().Handle() : Parent.Handle, text,
                                   caption.empty() ? std::string_view(Caption) : caption, flags);
}

TInputDialog::TInputDialog(TWindow parent, std::string title, std::string prompt,
                           std::string& buffer, std::size_t bufferSize, const TModule* module)
    : TDialog(parent, kResource, module),
      Title(std::move(title)),
      Prompt(std::move(prompt)),
      Buffer(buffer),
      BufferSize(bufferSize),
      Field(*this, kFieldId, static_cast<unsigned>(bufferSize)) {
  Caption = Title;
}

void TInputDialog::SetupWindow() {
  TDialog::SetupWindow();
  Backend().SetText(0, Title);  // id 0: the dialog's own title
  Backend().SetText(kPromptId, Prompt);
  Field.SetText(Buffer.substr(0, BufferSize > 0 ? BufferSize - 1 : 0));
}

void TInputDialog::CmOk() {
  std::string text = Field.GetText();
  if (BufferSize > 0 && text.size() > BufferSize - 1) text.resize(BufferSize - 1);
  Buffer = text;
  TDialog::CmOk();
}

}  // namespace korvel
