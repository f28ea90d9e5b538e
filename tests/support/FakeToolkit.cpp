// The recording stand-in for the windowing toolkit.
#include "tests/support/FakeToolkit.h"

#include <algorithm>

namespace fake {

void FakeButton::Click() {
  if (!IsEnabled() || !IsVisible() || !OnClick) return;
  toolkit_.Guard(OnClick);
}

void FakeRadioGroup::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  index_ = std::min(index_, static_cast<int>(items_.size()) - 1);
}

void FakeRadioGroup::SetItemIndex(int index) {
  index_ = std::max(-1, std::min(index, static_cast<int>(items_.size()) - 1));
}

void FakeRadioGroup::SetColumns(int columns) { columns_ = std::max(1, std::min(columns, 16)); }

void FakeRadioGroup::UserSelect(int i) {
  if (!IsEnabled()) return;
  SetItemIndex(i);
  if (OnClick) toolkit_.Guard(OnClick);
}

void FakeTimer::SetInterval(uint32_t milliseconds) {
  interval_ = milliseconds;
  if (running_) ++starts_;
}

void FakeTimer::SetEnabled(bool running) {
  if (running && !running_) ++starts_;
  running_ = running;
}

void FakeTimer::Fire() {
  if (running_ && OnTimer) toolkit_.Guard(OnTimer);
}

FakeForm::FakeForm(FakeToolkit& toolkit, const ui::FormStyle& style, ui::Form* owner)
    : toolkit_(toolkit), style_(style), owner_(owner), clientWidth_(style.ClientWidth),
      clientHeight_(style.ClientHeight) {
  visible_ = false;
  bounds_ = {0, 0, style.ClientWidth, style.ClientHeight};
  toolkit_.Register(this);
}

FakeForm::~FakeForm() {
  if (OnDestroy) toolkit_.Guard(OnDestroy);
  toolkit_.Forget(this);
}

ui::Button& FakeForm::CreateButton(const ui::Bounds& b, const std::string& caption) {
  auto button = std::make_unique<FakeButton>(toolkit_);
  button->SetBounds(b);
  button->SetCaption(caption);
  buttons_.push_back(button.get());
  controls_.push_back(std::move(button));
  return *buttons_.back();
}

ui::Memo& FakeForm::CreateMemo(const ui::Bounds& b) {
  auto memo = std::make_unique<FakeMemo>();
  memo->SetBounds(b);
  memos_.push_back(memo.get());
  controls_.push_back(std::move(memo));
  return *memos_.back();
}

ui::RadioGroup& FakeForm::CreateRadioGroup(const ui::Bounds& b, const std::string& caption) {
  auto group = std::make_unique<FakeRadioGroup>(toolkit_);
  group->SetBounds(b);
  group->SetCaption(caption);
  groups_.push_back(group.get());
  controls_.push_back(std::move(group));
  return *groups_.back();
}

ui::Timer& FakeForm::CreateTimer() {
  timerStore_.push_back(std::make_unique<FakeTimer>(toolkit_));
  timers_.push_back(timerStore_.back().get());
  return *timers_.back();
}

int FakeForm::TextWidth(const std::string& text) const {
  if (toolkit_.TextWidthFunction) return toolkit_.TextWidthFunction(text);
  return 6 * static_cast<int>(text.size());
}

void FakeForm::MarkShown() {
  visible_ = true;
  ++showCount_;
  if (OnShow) toolkit_.Guard(OnShow);
}

void FakeForm::PickSystemMenuItem() {
  if (!systemMenuItem_.empty() && OnSystemMenuItem) toolkit_.Guard(OnSystemMenuItem);
}

void FakeForm::ShowModal() {
  modal_ = true;
  closeRequested_ = false;
  MarkShown();
  // A close posted from OnShow takes effect before the user can do anything.
  toolkit_.DeliverPosted();
  if (!closeRequested_ && toolkit_.OnModal) toolkit_.OnModal(*this);
  toolkit_.DeliverPosted();
  modal_ = false;
  visible_ = false;
}

void FakeForm::Close() {
  closeRequested_ = true;
  ++closeCount_;
  if (!modal_) visible_ = false;
}

void FakeForm::PostMessage(const ui::Message& m) { toolkit_.Post(this, m); }

void FakeForm::SizeToControls() {
  int right = 0;
  int bottom = 0;
  for (const auto& c : controls_) {
    const ui::Bounds b = c->GetBounds();
    right = std::max(right, b.Left + b.Width);
    bottom = std::max(bottom, b.Top + b.Height);
  }
  clientWidth_ = right + 2 * style_.BorderWidth;
  clientHeight_ = bottom + 2 * style_.BorderWidth;
}

FakeButton* FakeForm::FindButton(const std::string& caption) const {
  for (FakeButton* b : buttons_)
    if (b->Caption() == caption) return b;
  return nullptr;
}

void FakeForm::Deliver(const ui::Message& m) {
  bool handled = false;
  if (OnMessage) toolkit_.Guard([&] { handled = OnMessage(m); });
  if (!handled && m.Msg == kWmClose) Close();
}

FakeToolkit::FakeToolkit() = default;
FakeToolkit::~FakeToolkit() = default;

std::unique_ptr<ui::Form> FakeToolkit::CreateForm(const ui::FormStyle& style, ui::Form* owner) {
  return std::make_unique<FakeForm>(*this, style, owner);
}

void FakeToolkit::Run(ui::Form& mainForm) {
  auto& form = static_cast<FakeForm&>(mainForm);
  form.MarkShown();
  DeliverPosted();
  if (OnRun) OnRun(form);
  DeliverPosted();
}

void FakeToolkit::ShowErrorBox(const std::string& text, ui::Form* owner) {
  ErrorBoxes.push_back(text);
  ErrorBoxOwners.push_back(owner);
  if (OnErrorBox) OnErrorBox(text);
}

void FakeToolkit::ShowApplicationError(const std::string& text) { ApplicationErrors.push_back(text); }

void FakeToolkit::DeliverPosted() {
  while (!posted_.empty()) {
    Posted p = posted_.front();
    posted_.pop_front();
    p.form->Deliver(p.message);
  }
}

void FakeToolkit::Guard(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const ui::Error& e) {
    ShowApplicationError(ui::ErrorBoxText(e.what()));
  } catch (...) {
    ShowApplicationError("");
  }
}

void FakeToolkit::Forget(FakeForm* form) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
  posted_.erase(std::remove_if(posted_.begin(), posted_.end(), [form](const Posted& p) { return p.form == form; }),
                posted_.end());
}

}  // namespace fake
