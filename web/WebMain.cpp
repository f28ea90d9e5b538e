// The page's entry points into the core: its texts, the port auto takes, one reading, its stop, the CSV
// header.
#include <emscripten.h>

#include <string>
#include <vector>

#include "link/UnitLine.h"
#include "platform/Clock.h"
#include "ports/PortSelection.h"
#include "record/ReadingRecord.h"
#include "text/Format.h"
#include "text/TextCatalogue.h"
#include "text/Utf8.h"
#include "text/WebTexts.h"
#include "web/PageReading.h"
#include "web/WebClock.h"
#include "web/WebSerialDevice.h"

EM_JS(void, page_progress, (const char* text), { Module.onProgress(UTF8ToString(text)); });
EM_JS(void, page_pane, (const char* lines), { Module.onPane(JSON.parse(UTF8ToString(lines))); });
EM_JS(void, page_trace, (double ms, int hostToUnit, int byte), {
  console.debug((ms / 1000).toFixed(3) + (hostToUnit ? " H>U " : " U>H ") +
                byte.toString(16).toUpperCase().padStart(2, "0"));
});

namespace {

// The page reads through one port at a time; a stop asked by Cancel holds until the next reading.
bool g_stop = false;
// Handed to the page, which copies it before the next call.
std::string g_answer;

struct Keyed {
  WebText Id;
  const char* Key;
};

// The names under which the page finds its texts.
const Keyed kPageTexts[] = {
    {TXT_WEB_LANGUAGE, "language"},
    {TXT_WEB_CHOOSE_PORT, "choosePort"},
    {TXT_WEB_OTHER_PORT, "otherPort"},
    {TXT_WEB_READ, "read"},
    {TXT_WEB_CANCEL, "cancel"},
    {TXT_WEB_NO_PORT_YET, "noPortYet"},
    {TXT_WEB_PORT_READY, "portReady"},
    {TXT_WEB_PORT_GONE_IDLE, "portGoneIdle"},
    {TXT_WEB_SEVERAL_PORTS, "severalPorts"},
    {TXT_WEB_CANCELLING, "cancelling"},
    {TXT_WEB_IDENTITY_TITLE, "identityTitle"},
    {TXT_WEB_SERIAL, "serial"},
    {TXT_WEB_CIRCUIT, "circuit"},
    {TXT_WEB_SOFTWARE, "software"},
    {TXT_WEB_READINGS_TITLE, "readingsTitle"},
    {TXT_WEB_NO_READINGS, "noReadings"},
    {TXT_WEB_COLUMN_TIME, "columnTime"},
    {TXT_WEB_COLUMN_PORT, "columnPort"},
    {TXT_WEB_COLUMN_SERIAL, "columnSerial"},
    {TXT_WEB_COLUMN_CIRCUIT, "columnCircuit"},
    {TXT_WEB_COLUMN_SOFTWARE, "columnSoftware"},
    {TXT_WEB_COLUMN_OUTCOME, "columnOutcome"},
    {TXT_WEB_COLUMN_REPEAT, "columnRepeat"},
    {TXT_WEB_EXPORT_CSV, "exportCsv"},
    {TXT_WEB_EXPORT_JSONL, "exportJsonl"},
    {TXT_WEB_CLEAR, "clear"},
    {TXT_WEB_CLEAR_CONFIRM, "clearConfirm"},
    {TXT_WEB_OUTCOME_OK, "outcome-ok"},
    {TXT_WEB_OUTCOME_WRONG_UNIT, "outcome-wrong-unit"},
    {TXT_WEB_OUTCOME_NO_ANSWER, "outcome-no-answer"},
    {TXT_WEB_OUTCOME_LINK_LOST, "outcome-link-lost"},
    {TXT_WEB_OUTCOME_PORT_ERROR, "outcome-port-error"},
    {TXT_WEB_NO_WEB_SERIAL, "noWebSerial"},
    {TXT_WEB_CHOOSER_CLOSED, "chooserClosed"},
    {TXT_WEB_CHOOSER_FAILED, "chooserFailed"},
};

uint32_t Language(int language) { return language == 1 ? kLanguageEnglish : kLanguageFrench; }

}  // namespace

extern "C" {

// Every text of the page in the language, as one JSON object; "%s" is left for the page to fill.
EMSCRIPTEN_KEEPALIVE const char* web_texts(int language) {
  const uint32_t lang = Language(language);
  const std::string device = Utf8FromCp1252(GetDeviceName());
  g_answer = "{\"title\":" + JsonString(Say(TXT_WEB_TITLE, lang, device.c_str()));
  for (const Keyed& t : kPageTexts)
    g_answer += "," + JsonString(t.Key) + ":" + JsonString(Utf8FromCp1252(Text(t.Id, lang)));
  g_answer += ",\"languageNames\":[" + JsonString(Utf8FromCp1252(Text(TXT_LANGUAGE_NAME, kLanguageFrench))) +
              "," + JsonString(Utf8FromCp1252(Text(TXT_LANGUAGE_NAME, kLanguageEnglish))) + "]}";
  return g_answer.c_str();
}

// The port auto takes among the granted ones, each given by its USB vendor id (four lowercase hex
// digits, empty when the browser tells none) and ";". Its index, or -1 when there is none, -2 for
// several CP210x, -3 for several others and no CP210x.
EMSCRIPTEN_KEEPALIVE int web_auto_port(const char* vendors) {
  std::vector<PortInfo> ports;
  std::string vendor;
  for (const char* v = vendors; *v; ++v) {
    if (*v != ';') {
      vendor += *v;
      continue;
    }
    // The browser names no driver: the port rules go by the vendor id.
    PortInfo port;
    port.Vid = vendor;
    port.Preferred = HasPreferredDriver(port);
    ports.push_back(port);
    vendor.clear();
  }
  size_t chosen = 0;
  switch (AutoPortEntry(ports, chosen)) {
    case AutoPortResult::Chosen:
      return static_cast<int>(chosen);
    case AutoPortResult::None:
      return -1;
    case AutoPortResult::SeveralPreferred:
      return -2;
    case AutoPortResult::SeveralOthers:
      return -3;
  }
  return -1;
}

// One reading on the port the page keeps under that label; the page's earlier
// records (JSON lines) decide the repeat flag. Answers PageResult's object.
EMSCRIPTEN_KEEPALIVE const char* web_read(const char* port, int language, const char* earlier) {
  const uint32_t lang = Language(language);
  g_stop = false;
  const Stopwatch start;
  ReadingRecord record;
  record.StartUnixMs = UnixMsNow();
  record.Port = port;
  WebSerialDevice device;
  WebClock clock;
  const StopRequest stop = [] { return g_stop; };
  {
    UnitLine line(device, clock, port, stop, [&start](bool hostToUnit, uint8_t byte) {
      page_trace(static_cast<double>(start.ElapsedMs()), hostToUnit, byte);
    });
    ReadingOptions how;
    how.Wait.WaitMs = kPageWaitMs;
    how.Wait.Stop = stop;
    how.Wait.OnAttempt = [&](int32_t attempt) {
      // The command line's progress line says it as well.
      page_progress(WaitingText(lang, record.Port, start.ElapsedMs(), attempt - 1).c_str());
    };
    // Each value shows as soon as it is read, as in the window's pane.
    how.OnStep = [lang](const UnitReading& soFar) {
      std::string lines = "[";
      for (const std::string& text : PaneLines(soFar, lang, false))
        lines += (lines.size() > 1 ? "," : "") + JsonString(text);
      page_pane((lines + "]").c_str());
    };
    record.Reading = ReadUnitIdentity(line.Link(), line.Ticks(), how);
  }
  record.ElapsedMs = start.ElapsedMs();
  if (record.Reading.Outcome != ReadingOutcome::Ok) TellFailure(record, lang, WebSerialErrorText());
  if (record.Reading.Outcome != ReadingOutcome::Interrupted) MarkRepeat(record, earlier);
  g_answer = PageResult(record, lang);
  return g_answer.c_str();
}

// Cancel: every wait of the reading under way ends at once; the unit is still released and the port closed.
EMSCRIPTEN_KEEPALIVE void web_cancel() { g_stop = true; }

EMSCRIPTEN_KEEPALIVE const char* web_csv_header() {
  g_answer = CsvHeader();
  return g_answer.c_str();
}
}
