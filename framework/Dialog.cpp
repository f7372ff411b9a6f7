#include "Dialog.h"

namespace korvel {

// The platform a build starts with: Win32 on Windows, headless elsewhere.
std::shared_ptr<TPlatform> MakeDefaultPlatform();

namespace {
std::shared_ptr<TPlatform>& CurrentPlatform() {
  static std::shared_ptr<TPlatform> platform = MakeDefaultPlatform();
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
  if (TextLimit > 0) Backend().SetTextLimit(Id, TextLimit);
}

void TCheckBox::SetCheck(int state) { Backend().SetCheck(Id, state); }
int TCheckBox::GetCheck() const { return Backend().GetCheck(Id); }

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
      Field(*this, kFieldId, bufferSize > 0 ? static_cast<unsigned>(bufferSize - 1) : 0) {
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
