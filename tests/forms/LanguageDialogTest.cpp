// TDialogChoixLangue on the fake toolkit: its layout, and captions that follow the highlighted language.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/DialogChoixLangue.h"
#include "tests/support/FakeToolkit.h"

namespace {

const char kFrenchTitle[] = "Choix de la Langue";
const char kEnglishTitle[] = "Language choice";

class LanguageDialog : public ::testing::Test {
 protected:
  fake::FakeForm& Form() { return static_cast<fake::FakeForm&>(dialog.Form()); }
  fake::FakeRadioGroup& Group() { return static_cast<fake::FakeRadioGroup&>(*dialog.RadioGroupSelectLangue); }
  fake::FakeButton& Ok() { return static_cast<fake::FakeButton&>(*dialog.OKBtn); }
  void ExpectCaptions(const char* text) {
    EXPECT_EQ(Form().Caption(), text);
    EXPECT_EQ(Group().Caption(), text);
  }

  fake::FakeToolkit toolkit;
  TDialogChoixLangue dialog{toolkit};
};

TEST_F(LanguageDialog, ANewDialogOffersBothLanguagesWithFrenchHighlighted) {
  const ui::FormStyle& style = Form().Style();
  EXPECT_EQ(style.ClientWidth, 221);
  EXPECT_EQ(style.ClientHeight, 198);
  EXPECT_TRUE(style.CloseBox);
  EXPECT_FALSE(style.AutoSize);
  EXPECT_EQ(Form().Owner(), nullptr);

  ASSERT_EQ(Form().Buttons().size(), 1u);
  ASSERT_EQ(Form().RadioGroups().size(), 1u);
  EXPECT_EQ(Ok().GetBounds(), (ui::Bounds{71, 164, 75, 25}));
  EXPECT_EQ(Ok().Caption(), "OK");
  EXPECT_TRUE(Ok().IsDefault());
  EXPECT_EQ(Group().GetBounds(), (ui::Bounds{8, 8, 201, 137}));
  EXPECT_EQ(Group().Items(), (std::vector<std::string>{"Fran\xE7" "ais", "English"}));
  EXPECT_EQ(Group().Columns(), 2);
  EXPECT_EQ(Group().ItemIndex(), 0);
  EXPECT_EQ(dialog.ChosenLanguage(), 0);
  ExpectCaptions(kFrenchTitle);
}

TEST_F(LanguageDialog, CaptionsPreviewTheHighlightedLanguage) {
  dialog.SetLanguage(1);
  ExpectCaptions(kEnglishTitle);
  std::vector<std::string> captionsSeen;
  toolkit.OnModal = [&](fake::FakeForm& f) {
    EXPECT_EQ(&f, &Form());
    EXPECT_EQ(Group().ItemIndex(), 1);
    Group().UserSelect(0);
    captionsSeen = {Form().Caption(), Group().Caption()};
    Ok().Click();
  };
  dialog.ShowModal();
  EXPECT_EQ(captionsSeen, (std::vector<std::string>{kFrenchTitle, kFrenchTitle}));
  EXPECT_EQ(Form().CloseCount(), 1);
  EXPECT_EQ(dialog.ChosenLanguage(), 0);
  // The English names stay the same whatever language is highlighted.
  EXPECT_EQ(Group().Items()[1], "English");
}

TEST_F(LanguageDialog, TheCloseBoxLeavesTheHighlightedLanguageChosen) {
  toolkit.OnModal = [&](fake::FakeForm& f) {
    Group().UserSelect(1);
    f.Close();  // the title bar's close box
  };
  dialog.ShowModal();
  EXPECT_EQ(dialog.ChosenLanguage(), 1);
  ExpectCaptions(kEnglishTitle);
}

TEST_F(LanguageDialog, SetLanguageRefreshesOnlyOnAChange) {
  Form().SetCaption("tampered");
  dialog.SetLanguage(0);
  EXPECT_EQ(Form().Caption(), "tampered");

  dialog.SetLanguage(1);
  ExpectCaptions(kEnglishTitle);

  // The group clamps what it does not hold: 5 is English, already highlighted.
  dialog.SetLanguage(5);
  EXPECT_EQ(dialog.ChosenLanguage(), 1);
  ExpectCaptions(kEnglishTitle);

  dialog.SetLanguage(0);
  ExpectCaptions(kFrenchTitle);
  EXPECT_EQ(dialog.ChosenLanguage(), 0);
}

TEST_F(LanguageDialog, NothingHighlightedLeavesTheCaptionsAlone) {
  dialog.SetLanguage(1);
  dialog.SetLanguage(-1);
  EXPECT_EQ(dialog.ChosenLanguage(), -1);
  ExpectCaptions(kEnglishTitle);
  EXPECT_TRUE(toolkit.ApplicationErrors.empty());
}

}  // namespace
