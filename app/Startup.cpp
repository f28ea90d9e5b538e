// Start-up: title, windows, settings file, message loop, all inside one guarded block.
#include "app/Startup.h"

#include <exception>

#include "forms/DialogChoixLangue.h"
#include "forms/SettingsErrorText.h"
#include "forms/TDlgLectureInformation.h"
#include "forms/WindowJournal.h"
#include "record/RecordOrigin.h"
#include "text/SettingsFile.h"

const char kApplicationTitle[] = "Bravelle";

int RunApplication(Platform& platform) {
  ui::Toolkit& toolkit = platform.Toolkit;
  try {
    toolkit.SetTitle(kApplicationTitle);
    // The first form created is the application's main window.
    WindowJournal journal(platform.Records, platform.Storage, platform.Identity, ProgramName("Bravelle.exe"));
    TDlgLectureInformation DlgLectureInformation(toolkit, platform.Serial, platform.Ticks, platform.Registry,
                                                 platform.Locale, platform.Storage, journal);
    TDialogChoixLangue DialogChoixLangue(toolkit);
    DlgLectureInformation.SetLanguageDialog(&DialogChoixLangue);

    const StoredSettings settings = LoadOrCreateSettings(platform.Storage);
    DlgLectureInformation.SetSettingsPath(settings.Path);
    // Negative or too large values are ignored by the setter. The language was
    // read from the file: one that refuses to be written back (read-only,
    // hidden, on a write-protected medium) does not keep the program from
    // starting in it, and stays as it is.
    try {
      DlgLectureInformation.SetLanguage(static_cast<uint32_t>(settings.Language));
    } catch (const ui::Error&) {
    }

    toolkit.Run(DlgLectureInformation.Form());
  } catch (const SettingsError& e) {
    toolkit.ShowApplicationError(ui::ErrorBoxText(SettingsErrorText(e)));
  } catch (const ui::Error& e) {
    toolkit.ShowApplicationError(ui::ErrorBoxText(e.what()));
  } catch (...) {
    // Anything else is shown as the toolkit shows an exception without a message.
    toolkit.ShowApplicationError("");
  }
  return 0;
}
