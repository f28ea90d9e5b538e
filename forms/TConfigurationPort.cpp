// TConfPort: the serial port list from the registry, the automatic choice and the selection dialog.
#include "forms/TConfigurationPort.h"

#include <cstddef>

#include "text/TextCatalogue.h"
#include "ports/PortSelection.h"

namespace {

// The toolkit hands messages the form leaves unhandled to the system, which closes the window on this one.
constexpr uint32_t kWmClose = 0x0010;

// The dialog font gives 13-pixel rows; one column holds ten ports before another is opened.
constexpr int kPortsPerColumn = 10;
constexpr int kColumnWidth = 150;
constexpr int kFullRows = 12;
constexpr int kButtonGap = 10;
constexpr int kButtonHeight = 25;

const std::vector<std::string>& EmptyList() {
  static const std::vector<std::string> empty;
  return empty;
}

}  // namespace

TConfPort::TConfPort(ui::Toolkit& toolkit, ui::Form* owner, PortRegistry& registry, const TextLocale& locale)
    : toolkit_(toolkit), registry_(registry), locale_(locale) {
  ui::FormStyle style;
  style.ClientWidth = 251;
  style.ClientHeight = 49;
  style.CloseBox = true;
  style.StayOnTop = true;
  style.AutoSize = true;
  style.BorderWidth = 10;
  style.FontName = "MS Sans Serif";
  style.FontHeight = -11;
  form_ = toolkit_.CreateForm(style, owner);
  form_->SetCaption("ConfPort");
  // Created in tab order; the layout captions are replaced by RefreshCaptions below.
  Validation = &form_->CreateButton({0, 24, 97, 25}, "Validation");
  // Enter takes the highlighted port, as the language dialog's Enter presses OK.
  Validation->SetDefault(true);
  RadioGroupPortSerie = &form_->CreateRadioGroup({3, 0, 89, 17}, "RadioGroupPortSerie");
  ButtonRecherchePort = &form_->CreateButton({104, 24, 147, 25}, "ButtonRecherchePort");

  FLanguage = 0;
  RefreshCaptions();
  ButtonRecherchePort->SetHeight(kButtonHeight);
  Validation->SetHeight(kButtonHeight);
  FPortNumber = 0;
  FSelectedIndex = -1;
  FPortList = std::make_unique<std::vector<std::string>>();

  // Handlers are bound last so that nothing the toolkit fires while the form
  // is being put together reaches a half-built dialog.
  form_->OnShow = [this] { FormShow(); };
  form_->OnDestroy = [this] { FormDestroy(); };
  Validation->OnClick = [this] { ValidationClick(); };
  ButtonRecherchePort->OnClick = [this] { FormShow(); };
}

TConfPort::~TConfPort() {
  // Destroying the form runs FormDestroy while the rest of the dialog still exists.
  form_.reset();
}

const std::vector<std::string>& TConfPort::PortList() const { return FPortList ? *FPortList : EmptyList(); }

bool TConfPort::ScanPorts() {
  const int32_t previous = FPortNumber;
  // The list only disappears with the form; a scan after that finds nothing to fill.
  if (!FPortList) {
    FPortNumber = 0;
    return false;
  }
  FPortList->clear();

  std::vector<PortListEntry> entries;
  if (ReadPortList(registry_, locale_, entries) == PortListResult::Unreadable) {
    FPortNumber = 0;
    return false;
  }
  for (const PortListEntry& entry : entries) FPortList->push_back(entry.Text);
  const auto& list = *FPortList;
  // An empty list keeps the earlier selection index, which the group clamps when shown.
  if (list.empty()) {
    FPortNumber = 0;
    return true;
  }
  FSelectedIndex = static_cast<int32_t>(SelectPortEntry(list, previous, locale_));
  FPortNumber = ParsePortNumber(list[static_cast<size_t>(FSelectedIndex)]);
  return true;
}

int32_t TConfPort::ParsePortNumber(const std::string& text) const { return ::ParsePortNumber(text, locale_); }

int32_t TConfPort::PortNumber() {
  if (FPortNumber <= 0) ScanPorts();
  return FPortNumber;
}

bool TConfPort::PortChanged() {
  const int32_t before = FPortNumber;
  const bool scanned = ScanPorts();
  return scanned && FPortNumber != before;
}

bool TConfPort::IsPreferredPort() {
  if (FPortNumber <= 0) ScanPorts();
  if (FPortNumber == 0) return false;
  const auto& list = PortList();
  // A choice made in the dialog can point past a list that a later scan shortened.
  if (FSelectedIndex < 0 || static_cast<size_t>(FSelectedIndex) >= list.size()) return false;
  return IsPreferredEntry(list[static_cast<size_t>(FSelectedIndex)]);
}

bool TConfPort::HasPort() const { return FPortNumber != 0; }

void TConfPort::SetLanguage(uint32_t index) {
  if (index == FLanguage || index >= 2) return;
  FLanguage = index;
  RefreshCaptions();
}

void TConfPort::RefreshCaptions() {
  form_->SetCaption(Text(TXT_PORT_DLG_TITLE, FLanguage));
  RadioGroupPortSerie->SetCaption(Text(TXT_PORT_GROUP, FLanguage));
  Validation->SetCaption(Text(TXT_PORT_VALIDATE, FLanguage));
  ButtonRecherchePort->SetCaption(Text(TXT_PORT_SEARCH, FLanguage));
}

void TConfPort::ShowModal() { form_->ShowModal(); }

ui::Form& TConfPort::Form() { return *form_; }

void TConfPort::FormShow() {
  if (!ScanPorts()) {
    toolkit_.ShowErrorBox(Text(TXT_NO_PORT), form_.get());
    // Posted rather than closing at once: the dialog may still be on its way up.
    form_->PostMessage(ui::Message{kWmClose, 0, 0});
    return;
  }
  const auto& list = PortList();
  RadioGroupPortSerie->SetItems(list);
  RadioGroupPortSerie->SetItemIndex(FSelectedIndex);

  const int count = static_cast<int>(list.size());
  // Whole tens in integers: n * 0.1 in floating point lies just above 3 for n = 30 and would round up to 4.
  const int columns = (count + kPortsPerColumn - 1) / kPortsPerColumn;
  RadioGroupPortSerie->SetColumns(columns);
  // One column grows with its ports (plus the caption and a margin); several are always full height.
  const int rows = columns == 1 ? count + 2 : kFullRows;
  const int height = rows * (2 - RadioGroupPortSerie->FontHeight()) + RadioGroupPortSerie->GetBounds().Top;
  Validation->SetTop(height + kButtonGap);
  ButtonRecherchePort->SetTop(Validation->GetBounds().Top);
  RadioGroupPortSerie->SetHeight(height);
  // The width follows the columns asked for, not the ones the group kept.
  RadioGroupPortSerie->SetWidth(columns * kColumnWidth);
  form_->SizeToControls();
}

void TConfPort::ValidationClick() {
  // The group's items are those of the last show; a scan since then may have changed the list.
  const int index = RadioGroupPortSerie->ItemIndex();
  const std::vector<std::string> items = RadioGroupPortSerie->Items();
  std::string text;
  if (index >= 0 && static_cast<size_t>(index) < items.size()) text = items[static_cast<size_t>(index)];
  FPortNumber = ParsePortNumber(text);
  FSelectedIndex = RadioGroupPortSerie->ItemIndex();
  form_->Close();
}

void TConfPort::FormDestroy() { FPortList.reset(); }
