// The page's entry points into the core: its texts, the port auto takes, one reading, the wait for the
// unit read to leave, their stop, the waiting line and the CSV header.
#include <emscripten.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "link/ReadingSequence.h"
#include "link/UnitLine.h"
#include "platform/Clock.h"
#include "ports/PortSelection.h"
#include "record/ReadingMessages.h"
#include "record/ReadingRecord.h"
#include "record/ReadingRecorder.h"
#include "record/RecordCodec.h"
#include "record/RecordReader.h"
#include "record/RecordTexts.h"
#include "text/Format.h"
#include "text/TextCatalogue.h"
#include "text/Utf8.h"
#include "text/WebTexts.h"
#include "web/PageReading.h"
#include "web/WebClock.h"
#include "web/WebIdentity.h"
#include "web/WebSerialDevice.h"

EM_JS(void, page_pane, (const char* lines), { Module.onPane(JSON.parse(UTF8ToString(lines))); });
EM_JS(void, page_waiting, (double ms, int attempts), { Module.onWaiting(ms, attempts); });
EM_JS(void, page_trace, (double ms, int hostToUnit, int byte), { Module.onTrace(ms, hostToUnit, byte); });
// The serial number last read at the port or fixture, or -1: asked once the reading is over, when the
// page has its readings and has heard of every other tab's.
EM_ASYNC_JS(double, page_last_serial, (const char* port, const char* fixture),
            { return await Module.onLast(UTF8ToString(port), UTF8ToString(fixture)); });
// Where the page last saw a serial number: "fixture\nport" in memory the caller frees, or null.
EM_JS(char*, page_seen, (double serial), {
  const place = Module.onSeen(serial);
  if (!place) return 0;
  const size = lengthBytesUTF8(place) + 1;
  const text = _malloc(size);
  stringToUTF8(place, text, size);
  return text;
});

namespace {

// The page reads through one port at a time; a stop asked by Cancel holds until the next reading.
bool g_stop = false;
// Handed to the page, which copies it before the next call.
std::string g_answer;
// The reading under way, for the waiting line the page ticks every second while the core waits.
std::string g_port;
uint32_t g_language = kLanguageFrench;
std::string g_waiting;
// The unit on the port refuses the handshake: the waiting line says so instead of counting.
bool g_refusing = false;
std::string g_label;  // how the person knows the port: its name, else its label

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
    {TXT_WEB_READ_OK, "readOk"},
    {TXT_WEB_STORAGE_MEMORY, "storageMemory"},
    {TXT_WEB_STORAGE_FAILED, "storageFailed"},
    {TXT_WEB_UPDATED, "updated"},
    {TXT_WEB_SEARCH, "search"},
    {TXT_WEB_PAGE_OF, "pageOf"},
    {TXT_WEB_NEWER, "newer"},
    {TXT_WEB_OLDER, "older"},
    {TXT_WEB_NO_MATCH, "noMatch"},
    {TXT_WEB_AUTO_READ, "autoRead"},
    {TXT_WEB_AUTO_PRESENT, "autoPresent"},
    {TXT_WEB_STATION_TITLE, "stationTitle"},
    {TXT_WEB_PORT_NAME, "portName"},
    {TXT_WEB_PORT_NAME_HINT, "portNameHint"},
    {TXT_WEB_EXPECT_SOFTWARE, "expectSoftware"},
    {TXT_WEB_EXPECT_CIRCUIT, "expectCircuit"},
    {TXT_WEB_EXPECT_HINT, "expectHint"},
    {TXT_WEB_OUTCOME_REJECTED, "outcome-rejected"},
    {TXT_WEB_DIAGNOSTIC, "diagnostic"},
    {TXT_WEB_LOADING, "loading"},
    {TXT_WEB_FIRST_PAGE, "firstPage"},
    {TXT_WEB_LAST_PAGE, "lastPage"},
    {TXT_WEB_SEARCH_HINT, "searchHint"},
    {TXT_WEB_ANDROID_NO_PORT, "androidNoPort"},
};

// The reading's line: every byte handed to the page for its diagnostic, ms from the reading's start.
TracingSerialDevice::Sink PageTrace(const Stopwatch& start) {
  return [&start](bool hostToUnit, uint8_t byte) {
    page_trace(static_cast<double>(start.ElapsedMs()), hostToUnit, byte);
  };
}

uint32_t Language(int language) { return language == 1 ? kLanguageEnglish : kLanguageFrench; }

RecordSeen SeenByPage(const UnitReading& reading) {
  RecordSeen seen;
  if (!reading.HasSerial) return seen;
  char* place = page_seen(reading.Serial);
  if (!place) return seen;
  const std::string text = place;
  free(place);
  const size_t cut = text.find('\n');
  seen.Fixture = text.substr(0, cut);
  seen.Port = cut == std::string::npos ? std::string() : text.substr(cut + 1);
  seen.HasSerial = true;
  seen.Serial = reading.Serial;
  return seen;
}

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

// One reading on the port the page keeps under that label; the repeat flag asks the page's history at
// the end. untilAnswer waits for a unit until one answers, the port fails or Cancel (plug-and-read).
// Answers PageResult's object.
EMSCRIPTEN_KEEPALIVE const char* web_read(const char* port, int language, const char* fixture,
                                          const char* expectSoftware, const char* expectCircuit,
                                          int untilAnswer) {
  const uint32_t lang = Language(language);
  g_stop = false;
  g_port = port;
  g_label = *fixture ? fixture : port;
  g_language = lang;
  g_refusing = false;
  const Stopwatch start;
  ReadingRecord record;
  record.Port = port;
  record.Fixture = fixture;
  PageReadingPane pane(lang);
  WebIdentity identity;
  const RecordOrigin origin(identity, identity.HostName(), ProgramName("Bravelle Web"));
  // Plug-and-read's record starts, as watch's, at the handshake that reached the unit.
  ReadingRecorder recorder(record, untilAnswer != 0, origin);
  {
    WebSerialDevice device;
    WebClock clock;
    const StopRequest stop = [] { return g_stop; };
    UnitLine line(device, clock, port, stop, PageTrace(start));
    ReadingPlan plan;
    plan.Deadline = untilAnswer == 0;
    plan.WaitMs = kPageWaitMs;
    plan.Stop = stop;
    ReadingSequence reading(line.Link(), line.Ticks(), plan, [&](ReadingEvent event, const UnitReading& r) {
      recorder.Take(event, r);
      if (event == ReadingEvent::Attempt || event == ReadingEvent::Refused) {
        // A unit that keeps refusing is said on the waiting line, as watch says it on its progress line.
        g_refusing = r.Refusing;
        page_waiting(static_cast<double>(start.ElapsedMs()), r.Attempts - (event == ReadingEvent::Attempt));
      }
      // Each value shows as soon as it is read, as in the window's pane.
      const size_t before = pane.SoFar().size();
      pane.Take(event, r);
      if (pane.SoFar().size() != before) page_pane(JsonLines(pane.SoFar()).c_str());
    });
    reading.Run();
  }
  g_refusing = false;
  if (record.Reading.Outcome != ReadingOutcome::Ok) TellFailure(record, lang, WebSerialErrorText());
  if (record.Reading.Outcome != ReadingOutcome::Interrupted) {
    const double lastSerial = page_last_serial(record.Port.c_str(), record.Fixture.c_str());
    MarkRepeat(record, lastSerial, SeenByPage(record.Reading));
    CheckExpected(record, expectSoftware, expectCircuit, lang);
  }
  g_answer = PageResult(record, pane.Final(record.Reading));
  return g_answer.c_str();
}

// Plug-and-read, once a unit was read: returns when it no longer answers (0), its port is gone or
// failed (1), or on Cancel (2). The unit is asked at the handshake's pace and let go each time.
EMSCRIPTEN_KEEPALIVE int web_wait_gone(const char* port) {
  g_stop = false;
  WebSerialDevice device;
  WebClock clock;
  const StopRequest stop = [] { return g_stop; };
  UnitLine line(device, clock, port, stop);
  switch (WaitUntilUnitLeaves(line.Link(), stop)) {
    case UnitLeft::Silent:
      return 0;
    case UnitLeft::PortFailed:
      return 1;
    case UnitLeft::Stopped:
      return 2;
  }
  return 2;
}

// The waiting line of the reading under way, for the page's clock; a raw call, as the reading is suspended.
EMSCRIPTEN_KEEPALIVE const char* web_waiting_text(double ms, int attempts) {
  g_waiting = g_refusing ? Say(TXT_REC_UNIT_REFUSES, g_language, ValidUtf8(g_label).c_str())
                         : WaitingText(g_language, g_port, static_cast<int64_t>(ms), attempts);
  return g_waiting.c_str();
}

// The link's end command: what the page can still send the unit when it is closed during a reading.
EMSCRIPTEN_KEEPALIVE int web_end_command() { return CMD_END; }

// Cancel: every wait of the reading under way ends at once; the unit is still released and the port closed.
EMSCRIPTEN_KEEPALIVE void web_cancel() { g_stop = true; }

// The CSV header with that separator (a character code), of a schema the page kept records of (1, 2),
// else today's.
EMSCRIPTEN_KEEPALIVE const char* web_csv_header(int separator, int schema) {
  g_answer =
      CsvHeader(static_cast<char>(separator), schema >= 1 && schema < kRecordSchema ? schema : kRecordSchema);
  return g_answer.c_str();
}
}
