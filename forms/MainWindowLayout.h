// Where the main window's four buttons stand beside its text pane: arithmetic without a window, so that
// it can be checked on its own.
#pragma once

#include "ui/Toolkit.h"

struct MainButtonPlaces {
  int Left = 0;
  int Height = 0;
  int ReadTop = 0;      // ButtonLectureInfo, level with the pane's top
  int PortTop = 0;      // ButtonConfigPort
  int LanguageTop = 0;  // ButtonChoixLangue
  int QuitTop = 0;      // ButtonQuitter, level with the pane's bottom
};

// memo: the pane's bounds; quitHeight: ButtonQuitter's height, which all four take.
MainButtonPlaces PlaceMainButtons(const ui::Bounds& memo, int quitHeight);

// The outer window width that leaves the stated margin right of the buttons.
int MainWindowWidth(int buttonLeft, int buttonWidth);
