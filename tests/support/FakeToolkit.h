// A recording stand-in for the windowing toolkit: forms run natively, tests drive clicks, ticks and messages.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Toolkit.h"

namespace fake {

class FakeToolkit;

// Shared state of every fake control.
template <typename Base>
class FakeControl : public Base {
 public:
  void SetCaption(const std::string& text) override { caption_ = text; }
  std::string Caption() const override { return caption_; }
  void SetBounds(const ui::Bounds& b) override { bounds_ = b; }
  ui::Bounds GetBounds() const override { return bounds_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool IsEnabled() const override { return enabled_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool IsVisible() const override { return visible_; }

 protected:
  std::string caption_;
  ui::Bounds bounds_;
  bool enabled_ = true;
  bool visible_ = true;
};

class FakeButton : public FakeControl<ui::Button> {
 public:
  explicit FakeButton(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void SetDefault(bool isDefault) override { default_ = isDefault; }
  bool IsDefault() const { return default_; }
  // A user's click: ignored while the button is disabled, as a real one would.
  void Click();

 private:
  FakeToolkit& toolkit_;
  bool default_ = false;
};

class FakeMemo : public FakeControl<ui::Memo> {
 public:
  void Clear() override { lines_.clear(); }
  void AppendLine(const std::string& line) override { lines_.push_back(line); }
  std::vector<std::string> Lines() const override { return lines_; }

 private:
  std::vector<std::string> lines_;
};

class FakeRadioGroup : public FakeControl<ui::RadioGroup> {
 public:
  explicit FakeRadioGroup(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void SetItems(const std::vector<std::string>& items) override;
  std::vector<std::string> Items() const override { return items_; }
  void SetItemIndex(int index) override;
  int ItemIndex() const override { return index_; }
  void SetColumns(int columns) override;
  int Columns() const override { return columns_; }
  int FontHeight() const override { return -11; }
  // The user highlights item i and the group reports the click.
  void UserSelect(int i);

 private:
  FakeToolkit& toolkit_;
  std::vector<std::string> items_;
  int index_ = -1;
  int columns_ = 1;
};

class FakeTimer : public ui::Timer {
 public:
  explicit FakeTimer(FakeToolkit& toolkit) : toolkit_(toolkit) {}
  void SetInterval(uint32_t milliseconds) override;
  uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool running) override;
  bool IsEnabled() const override { return running_; }
  // One tick, as the message loop would deliver it; nothing happens while stopped.
  void Fire();
  // How often the period was (re)started.
  int Starts() const { return starts_; }

 private:
  FakeToolkit& toolkit_;
  uint32_t interval_ = 1000;
  bool running_ = false;
  int starts_ = 0;
};

class FakeForm : public FakeControl<ui::Form> {
 public:
  FakeForm(FakeToolkit& toolkit, const ui::FormStyle& style, ui::Form* owner);
  ~FakeForm() override;

  ui::Button& CreateButton(const ui::Bounds& b, const std::string& caption) override;
  ui::Memo& CreateMemo(const ui::Bounds& b) override;
  ui::RadioGroup& CreateRadioGroup(const ui::Bounds& b, const std::string& caption) override;
  ui::Timer& CreateTimer() override;
  int TextWidth(const std::string& text) const override;
  void ShowModal() override;
  void Close() override;
  void PostMessage(const ui::Message& m) override;
  void SizeToControls() override;
  void SetSessionEndReason(const std::string& text) override { sessionEndReason_ = text; }
  void SetSystemMenuItem(const std::string& caption) override { systemMenuItem_ = caption; }

  const ui::FormStyle& Style() const { return style_; }
  const std::string& SessionEndReason() const { return sessionEndReason_; }
  const std::string& SystemMenuItem() const { return systemMenuItem_; }
  // The user picks the form's entry of its system menu.
  void PickSystemMenuItem();
  ui::Form* Owner() const { return owner_; }
  bool IsModal() const { return modal_; }
  int ShowCount() const { return showCount_; }
  int CloseCount() const { return closeCount_; }
  // Client size after SizeToControls (or as the style gave it).
  int ClientWidth() const { return clientWidth_; }
  int ClientHeight() const { return clientHeight_; }

  // Controls in creation order, for tests that look them up.
  const std::vector<FakeButton*>& Buttons() const { return buttons_; }
  const std::vector<FakeMemo*>& Memos() const { return memos_; }
  const std::vector<FakeRadioGroup*>& RadioGroups() const { return groups_; }
  const std::vector<FakeTimer*>& Timers() const { return timers_; }
  FakeButton* FindButton(const std::string& caption) const;

  // Called by the toolkit.
  void Deliver(const ui::Message& m);
  void MarkShown();

 private:
  FakeToolkit& toolkit_;
  ui::FormStyle style_;
  ui::Form* owner_;
  std::vector<std::unique_ptr<ui::Control>> controls_;
  std::vector<std::unique_ptr<FakeTimer>> timerStore_;
  std::vector<FakeButton*> buttons_;
  std::vector<FakeMemo*> memos_;
  std::vector<FakeRadioGroup*> groups_;
  std::vector<FakeTimer*> timers_;
  bool modal_ = false;
  bool closeRequested_ = false;
  int showCount_ = 0;
  int closeCount_ = 0;
  int clientWidth_ = 0;
  int clientHeight_ = 0;
  std::string sessionEndReason_;
  std::string systemMenuItem_;
};

constexpr uint32_t kWmClose = 0x0010;

class FakeToolkit : public ui::Toolkit {
 public:
  FakeToolkit();
  ~FakeToolkit() override;

  void SetTitle(const std::string& title) override { title_ = title; }
  std::string Title() const override { return title_; }
  std::unique_ptr<ui::Form> CreateForm(const ui::FormStyle& style, ui::Form* owner) override;
  void Run(ui::Form& mainForm) override;
  void ShowErrorBox(const std::string& text, ui::Form* owner) override;
  void ShowApplicationError(const std::string& text) override;
  void Beep(uint32_t type) override { Beeps.push_back(type); }
  void LetSentMessagesIn() override {
    if (OnSentMessages) OnSentMessages();
  }
  bool OpenFolder(const std::string& path) override {
    OpenedFolders.push_back(path);
    return FolderOpens;
  }

  // Delivers the posted messages of every form, oldest first, including those
  // posted while delivering. An unhandled WM_CLOSE closes its form.
  void DeliverPosted();
  size_t PendingMessages() const { return posted_.size(); }

  // Runs a handler as the real message loop does: a ui::Error that leaves it
  // lands in the application's error box; anything else in an empty box.
  void Guard(const std::function<void()>& handler);

  // Forms alive, in creation order; the first is the main form.
  const std::vector<FakeForm*>& Forms() const { return forms_; }

  // Scripts: what the user does while a form is modal, while an error box is
  // open, and while the main loop runs. Each may be left empty.
  std::function<void(FakeForm&)> OnModal;
  std::function<void(const std::string&)> OnErrorBox;
  std::function<void(FakeForm&)> OnRun;
  // What other programs and the system send while a handler lets their messages in.
  std::function<void()> OnSentMessages;
  // Width in pixels of a text in the forms' font (default: 6 per byte).
  std::function<int(const std::string&)> TextWidthFunction;

  std::vector<std::string> ErrorBoxes;
  // The form each error box belongs to.
  std::vector<const ui::Form*> ErrorBoxOwners;
  std::vector<std::string> ApplicationErrors;
  std::vector<uint32_t> Beeps;
  // The folders shown in the file browser; false: the browser cannot show them.
  std::vector<std::string> OpenedFolders;
  bool FolderOpens = true;

  // Used by the fake forms.
  void Post(FakeForm* form, const ui::Message& m) { posted_.push_back({form, m}); }
  void Forget(FakeForm* form);
  void Register(FakeForm* form) { forms_.push_back(form); }

 private:
  struct Posted {
    FakeForm* form;
    ui::Message message;
  };
  std::string title_;
  std::vector<FakeForm*> forms_;
  std::deque<Posted> posted_;
};

}  // namespace fake
