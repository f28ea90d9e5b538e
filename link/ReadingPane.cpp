// The pane's lines of a reading, from the catalogue.
#include "link/ReadingPane.h"

#include "text/Format.h"
#include "text/TextCatalogue.h"

namespace {

std::string WithDeviceName(TextPair id, uint32_t language) {
  return Format(Text(id, language), GetDeviceName().c_str());
}

}  // namespace

std::vector<std::string> PaneLines(ReadingEvent event, const UnitReading& r, uint32_t language) {
  switch (event) {
    case ReadingEvent::Connected:
      return {Text(TXT_DEVICE_CONNECTED, language), Text(TXT_BLANK_LINE)};
    case ReadingEvent::Checking:
      return {Text(TXT_CHECKING_UNIT, language)};
    case ReadingEvent::Confirmed:
      return {WithDeviceName(TXT_UNIT_CONFIRMED, language), Text(TXT_BLANK_LINE)};
    case ReadingEvent::Serial:
      return {Format(Text(TXT_SERIAL_NUMBER, language), static_cast<unsigned>(r.Serial))};
    case ReadingEvent::Circuit:
      return {Format(Text(TXT_CIRCUIT_VERSION, language), static_cast<unsigned>(r.Circuit))};
    case ReadingEvent::Software:
      return {Format(Text(TXT_SOFTWARE_VERSION, language), static_cast<unsigned>(r.SoftwareMajor),
                     static_cast<unsigned>(r.SoftwareMinor))};
    case ReadingEvent::Released:
      if (r.Outcome == ReadingOutcome::Ok) return {Text(TXT_TRANSFER_OK, language), Text(TXT_BLANK_LINE)};
      return {};
    default:
      return {};
  }
}

std::vector<std::string> ClosingLines(ReadingOutcome outcome, uint32_t language) {
  switch (outcome) {
    case ReadingOutcome::Ok:
      return {Text(TXT_READ_DONE, language), Text(TXT_BLANK_LINE), Text(TXT_SEPARATOR),
              WithDeviceName(TXT_READ_ANOTHER, language)};
    case ReadingOutcome::WrongUnit:
      return {Text(TXT_BLANK_LINE), Text(TXT_WRONG_UNIT, language)};
    default:
      return {Text(TXT_BLANK_LINE), Text(TXT_LINK_LOST, language)};
  }
}
