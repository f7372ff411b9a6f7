// Dialogs and their control objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Framework.h"
#include "ZorvaResources.h"

namespace korvel {

enum class TTransferDirection { SetData, GetData };

class TDialog;

// Checks an edit's text: while typing, and when the dialog is to close.
class TValidator {
 public:
  virtual ~TValidator() = default;
  virtual bool DigitsOnly() const { return false; }
  virtual bool IsValid(const std::string& text) const = 0;
  virtual void Error(TDialog& dialog) const = 0;
};

// A whole number from Min to Max; while typing only digits are admitted. An
// empty field is outside the range.
class TRangeValidator : public TValidator {
 public:
  TRangeValidator(long min, long max) : Min(min), Max(max) {}
  bool DigitsOnly() const override { return true; }
  bool IsValid(const std::string& text) const override;
  void Error(TDialog& dialog) const override;

 private:
  long Min, Max;
};

class TControl {
 public:
  TControl(TDialog& parent, int id);
  virtual ~TControl() = default;
  // Called when the dialog's controls exist, before the dialog's own setup.
  virtual void SetupControl() {}
  // Moves the control's value to or from its field of a transfer buffer.
  virtual void Transfer(void* /*field*/, TTransferDirection /*direction*/) {}
  int GetId() const { return Id; }
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

 protected:
  TDialogBackend& Backend() const;
  TDialog& Parent;
  int Id;
};

// A one-line field. Its text limit counts the terminating zero, as a transfer
// buffer does: a limit of 3 admits two characters.
class TEdit : public TControl {
 public:
  TEdit(TDialog& parent, int id, unsigned textLimit = 0)
      : TControl(parent, id), TextLimit(textLimit) {}
  std::string GetText() const;
  void SetText(std::string_view text);
  void Clear() { SetText(""); }
  unsigned GetTextLimit() const { return TextLimit; }
  void SetupControl() override;
  // The field is a text of TextLimit bytes, its terminating zero included.
  void Transfer(void* field, TTransferDirection direction) override;
  void SetValidator(std::unique_ptr<TValidator> validator) { Validator = std::move(validator); }
  // True when there is no validator or it accepts the text; else it reports.
  bool IsValid();

 private:
  unsigned TextLimit;
  std::unique_ptr<TValidator> Validator;
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
  // The field is a 16-bit unsigned: 1 checked, 0 unchecked.
  void Transfer(void* field, TTransferDirection direction) override;
};

// An automatic radio button; checking one unchecks the others of its group.
class TRadioButton : public TCheckBox {
 public:
  TRadioButton(TDialog& parent, int id, int group) : TCheckBox(parent, id), Group(group) {}
  void SetupControl() override { Backend().Declare(Id, TControlKind::RadioButton, Group); }

 private:
  int Group;
};

// The platform's hot-key control; the field is the 16-bit hot-key code.
class THotKey : public TControl {
 public:
  using TControl::TControl;
  uint16_t GetHotKey() const;
  void SetHotKey(uint16_t code);
  void Transfer(void* field, TTransferDirection direction) override;
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
  // OK: when every validator accepts its text, the controls are transferred
  // to the buffer and the dialog ends; else it stays open.
  virtual void CmOk();
  virtual void CmCancel() { CloseWindow(kIdCancel); }
  virtual void EvTimer(unsigned /*id*/) {}
  bool CanClose();
  void TransferData(TTransferDirection direction);
  // Binds a control to its field of the transfer buffer; controls transfer in
  // the order they were bound.
  void SetTransfer(TControl& control, void* field) { Transfers.push_back({&control, field}); }
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
  struct TBinding {
    TControl* Control;
    void* Field;
  };
  std::vector<TBinding> Transfers;
};

// Asks for one line of text: a prompt above a field.
class TInputDialog : public TDialog {
 public:
  static constexpr int kResource = IDD_INPUTBOX;
  static constexpr int kPromptId = IDC_INPUT_PROMPT;
  static constexpr int kFieldId = IDC_INPUT_FIELD;

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
