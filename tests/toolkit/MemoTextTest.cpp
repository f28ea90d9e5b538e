// The text pane's lines as the forms read them back from the edit control's text.
#include <gtest/gtest.h>

#include "win32/toolkit/MemoText.h"

namespace {

using memotext::SplitLines;
using Lines = std::vector<std::string>;

TEST(MemoText, AppendedLinesComeBackWithoutTheirBreaks) {
  // Exactly what AppendLine leaves in the control for the French intro and a blank line.
  EXPECT_EQ(SplitLines("Allumer votre Satellite de la KVR72 QLE.\r\n \r\n"),
            (Lines{"Allumer votre Satellite de la KVR72 QLE.", " "}));
  EXPECT_EQ(SplitLines("Choisir ensuite le port serie \xE0 utiliser.\r\n"),
            (Lines{"Choisir ensuite le port serie \xE0 utiliser."}));
}

TEST(MemoText, EmptyTextHasNoLinesButABreakAloneIsOneEmptyLine) {
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines("\r\n"), (Lines{""}));
  EXPECT_EQ(SplitLines("\r\n\r\n"), (Lines{"", ""}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
}

TEST(MemoText, TextTypedAfterTheLastBreakIsALastLine) {
  EXPECT_EQ(SplitLines("abc"), (Lines{"abc"}));
  EXPECT_EQ(SplitLines("a\r\nb"), (Lines{"a", "b"}));
}

TEST(MemoText, OnlyCarriageReturnThenLineFeedBreaksALine) {
  EXPECT_EQ(SplitLines("x\ny\r\nz"), (Lines{"x\ny", "z"}));
  EXPECT_EQ(SplitLines("a\r\r\nb"), (Lines{"a\r", "b"}));
  EXPECT_EQ(SplitLines("a\n\rb\r\n"), (Lines{"a\n\rb"}));
  EXPECT_EQ(SplitLines("\r"), (Lines{"\r"}));
}

TEST(MemoText, AnAppendedLineNeverContinuesTypedText) {
  using memotext::AppendedText;
  EXPECT_EQ(AppendedText("", "Appareil connect\xE9"), "Appareil connect\xE9\r\n");
  EXPECT_EQ(AppendedText("a\r\n", " "), " \r\n");
  // Typed without a final break: the line goes below, not after "abc".
  EXPECT_EQ(SplitLines("x\r\nabc" + AppendedText("x\r\nabc", "Appareil connect\xE9")),
            (Lines{"x", "abc", "Appareil connect\xE9"}));
  // A lone CR or LF typed last is no line break of the pane.
  EXPECT_EQ(AppendedText("abc\r", "l"), "\r\nl\r\n");
  EXPECT_EQ(AppendedText("abc\n", "l"), "\r\nl\r\n");
  EXPECT_EQ(AppendedText("\n", "l"), "\r\nl\r\n");
}

TEST(MemoText, SplittingUndoesAppending) {
  const Lines lines{"Lecture des Informations", "", " ", "N\xB0 de s\xE9rie : 00012345", "\t", "fin"};
  std::string text;
  for (const auto& line : lines) text += line + memotext::kLineBreak;
  EXPECT_EQ(SplitLines(text), lines);
}

}  // namespace
