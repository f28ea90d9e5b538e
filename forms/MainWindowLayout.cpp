// The main window's button places and width.
#include "forms/MainWindowLayout.h"

namespace {

// Vertical gap between the two middle buttons and below the read button's row.
constexpr int kButtonGap = 7;
// Space right of the pane, and right of the buttons up to the outer frame.
constexpr int kPaneToButtons = 7;
constexpr int kButtonsToFrame = 14;

}  // namespace

MainButtonPlaces PlaceMainButtons(const ui::Bounds& memo, int quitHeight) {
  MainButtonPlaces p;
  p.Left = memo.Left + memo.Width + kPaneToButtons;
  p.Height = quitHeight;
  p.QuitTop = memo.Top + memo.Height - quitHeight;
  p.ReadTop = memo.Top;
  // The two middle buttons are centred between the read and quit buttons; an odd
  // space loses its half pixel toward zero, also when a short pane makes it negative.
  p.PortTop = p.ReadTop + p.Height + (p.QuitTop - p.ReadTop - 3 * quitHeight - kButtonGap) / 2;
  p.LanguageTop = p.PortTop + p.Height + kButtonGap;
  return p;
}

int MainWindowWidth(int buttonLeft, int buttonWidth) { return buttonLeft + buttonWidth + kButtonsToFrame; }
