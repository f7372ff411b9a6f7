// Dialogs and their control objects.
#pragma once

#include <string>
#include <vector>

#include "Framework.h"

namespace korvel {

class TControl {
 public:
  TControl(TDialog& parent, int id);
  virtual ~TControl() = default;
  // Called when the dialog's controls exist, before the dialog's own setup.
  virtual void SetupControl() {}
  int GetId() const { return Id; }
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

 protected:
  TDialogBackend& Backend() const;
  TDialog& Parent;
  int Id;
};

class TEdit : public TControl {
 public:
  TEdit(TDialog& parent, int id, unsigned textLimit = 0)
      : TControl(parent, id), TextLimit(textLimit) {}
  std::string GetText() const;
  void SetText(std::string_view text);
  void Clear() { SetText(""); }
  unsigned GetTextLimit() const { return TextLimit; }
  void SetupControl() override;

 private:
  unsigned TextLimit;
};

class TButton : public TControl {
 public:
  using TControl::TControl;
  void SetupControl() override { Backend().Declare(Id, TControlKind::Button); }
};

class TCheckBox : public TButton {
 public:
  using TButton::TButton;
  void SetupControl() override { Backend().Declare(Id, TControlKind::CheckBox); }
  void Check() { SetCheck(1); }
  void Uncheck() { SetCheck(0); }
  void SetCheck(int state);
  int GetCheck() const;
};

// An automatic radio button; checking one unchecks the others of its group.
class TRadioButton : public TCheckBox {
 public:
  TRadioButton(TDialog& parent, int id, int group) : TCheckBox(parent, id), Group(group) {}
  void SetupControl() override { Backend().Declare(Id, TControlKind::RadioButton, Group); }

 private:
  int Group;
};

class TListBox : public TControl {
 public:
  using TControl::TControl;
  void SetupControl() override { Backend().Declare(Id, TControlKind::ListBox); }
  int GetCount() const;
  std::string GetString(int index) const;
  void AddString(std::string_view text);
  void InsertString(std::string_view text, int index);
  void DeleteString(int index);
  int GetSelIndex() const;
  void SetSelIndex(int index);
};

class TDialog {
 public:
  TDialog(TWindow parent, TResId resource, const TModule* module = nullptr)
      : Parent(parent), Resource(std::move(resource)), Module(module) {}
  virtual ~TDialog() = default;
  TDialog(const TDialog&) = delete;
  TDialog& operator=(const TDialog&) = delete;

  // Runs the dialog modally; returns the code it ended with.
  int Execute() { return Platform().RunModal(*this); }

  // Called by the platform once the dialog and its controls exist.
  virtual void SetupWindow();
  // Command dispatch: control notifications and commands. Unhandled ones go
  // to the defaults: OK and Cancel end the dialog.
  virtual void EvCommand(int id, int notifyCode);
  virtual void CmOk() { CloseWindow(kIdOk); }
  virtual void CmCancel() { CloseWindow(kIdCancel); }
  void CloseWindow(int code) { Backend().EndDialog(code); }

  int ShowMessageBox(std::string_view text, std::string_view caption, unsigned flags);
  std::string GetCaptionText() const { return Caption; }

  void AddChild(TControl* control) { Children.push_back(control); }

  // For the platform.
  void Attach(std::unique_ptr<TDialogBackend> backend) { BackendImpl = std::move(backend); }
  void Detach() { BackendImpl.reset(); }
  TDialogBackend& Backend() const { return *BackendImpl; }
  bool Running() const { return BackendImpl != nullptr; }
  const TResId& GetResource() const { return Resource; }
  const TModule* GetModule() const { return Module; }
  TWindow GetParent() const { return Parent; }

 protected:
  std::string Caption;  // the title message boxes without a caption of their own get

 private:
  TWindow Parent;
  TResId Resource;
  const TModule* Module;
  std::unique_ptr<TDialogBackend> BackendImpl;
  std::vector<TControl*> Children;  // in creation order
};

// Asks for one line of text: resource 32514, prompt 4091, field 4090.
class TInputDialog : public TDialog {
 public:
  static constexpr int kResource = 32514;
  static constexpr int kPromptId = 4091;
  static constexpr int kFieldId = 4090;

  TInputDialog(TWindow parent, std::string title, std::string prompt, std::string& buffer,
               std::size_t bufferSize, const TModule* module = nullptr);
  void SetupWindow() override;
  void CmOk() override;

  const std::string& GetTitle() const { return Title; }
  const std::string& GetPrompt() const { return Prompt; }
  std::size_t GetBufferSize() const { return BufferSize; }

 private:
  std::string Title;
  std::string Prompt;
  std::string& Buffer;
  std::size_t BufferSize;
  TEdit Field;
};

}  // namespace korvel
