// TDialogChoixLangue: shows its captions in the language the user has highlighted.
#include "forms/DialogChoixLangue.h"

#include "text/TextCatalogue.h"

TDialogChoixLangue::TDialogChoixLangue(ui::Toolkit& toolkit) {
  ui::FormStyle style;
  style.ClientWidth = 221;
  style.ClientHeight = 198;
  style.CloseBox = true;
  form_ = toolkit.CreateForm(style, nullptr);
  form_->SetCaption("DialogChoixLangue");
  // Created in tab order; the group caption is replaced by RefreshCaptions below.
  OKBtn = &form_->CreateButton({71, 164, 75, 25}, ui::kOkCaption);
  OKBtn->SetDefault(true);
  RadioGroupSelectLangue = &form_->CreateRadioGroup({8, 8, 201, 137}, "RadioGroupSelectLangue");

  RadioGroupSelectLangue->SetItems({Text(TXT_LANGUAGE_NAME, kLanguageFrench), Text(TXT_LANGUAGE_NAME, kLanguageEnglish)});
  RadioGroupSelectLangue->SetItemIndex(0);
  RadioGroupSelectLangue->SetColumns(2);
  RefreshCaptions();

  // Bound last: highlighting the first item above must not count as a click of the user.
  // Whatever closes the dialog, the caller reads the highlighted item, so OK only closes it.
  OKBtn->OnClick = [this] { form_->Close(); };
  RadioGroupSelectLangue->OnClick = [this] { RadioGroupSelectLangueClick(); };
}

TDialogChoixLangue::~TDialogChoixLangue() = default;

void TDialogChoixLangue::SetLanguage(int32_t index) {
  if (index == RadioGroupSelectLangue->ItemIndex()) return;
  // The group clamps what it does not hold.
  RadioGroupSelectLangue->SetItemIndex(index);
  RefreshCaptions();
}

int32_t TDialogChoixLangue::ChosenLanguage() const { return RadioGroupSelectLangue->ItemIndex(); }

void TDialogChoixLangue::RefreshCaptions() {
  const int index = RadioGroupSelectLangue->ItemIndex();
  // Nothing highlighted (only reachable through SetLanguage(-1)) names no language to show.
  if (index < 0 || index > 1) return;
  const auto language = static_cast<uint32_t>(index);
  form_->SetCaption(Text(TXT_LANG_DLG_TITLE, language));
  RadioGroupSelectLangue->SetCaption(Text(TXT_LANG_GROUP, language));
}

void TDialogChoixLangue::ShowModal() { form_->ShowModal(); }

ui::Form& TDialogChoixLangue::Form() { return *form_; }

void TDialogChoixLangue::RadioGroupSelectLangueClick() { RefreshCaptions(); }
