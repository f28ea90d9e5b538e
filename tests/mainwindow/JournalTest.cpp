// The window's journal: one record for each reading that came to an outcome, and one line of the pane
// when it cannot be kept.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/mainwindow/MainWindowFakes.h"
#include "tests/support/CompleteReadingPane.h"

namespace {

using mw::Rig;
using Lines = std::vector<std::string>;

const char kJournal[] = "C:\\Users\\tech\\AppData\\Local\\Bravelle\\readings.jsonl";

Lines JournalLines(Rig& r) {
  Lines lines;
  const std::string& bytes = r.Records.Files[kJournal];
  for (size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(bytes.substr(start, end - start));
  return lines;
}

const char kOrigin[] = R"(,"program":"Bravelle.exe test"})";

// A record up to its times, which differ from run to run, and how it ends after them; its id, a UUID
// version 7 that differs too, is checked for its shape and taken out.
void ExpectRecord(std::string line, const std::string& head, const std::string& tail = kOrigin) {
  const std::string id = R"(,"id":")";
  ASSERT_EQ(line.find(id), 11u) << line;
  const std::string uuid = line.substr(11 + id.size(), 36);
  EXPECT_EQ(uuid[14], '7') << uuid;
  EXPECT_EQ(uuid.find_first_not_of("0123456789abcdef-"), std::string::npos) << uuid;
  line.erase(11, id.size() + 37);
  EXPECT_EQ(line.substr(0, head.size()), head);
  EXPECT_EQ(line.substr(line.size() - tail.size() - 2), "Z\"" + tail);
}

TEST(Journal, EachOutcomeIsOneRecordAndASecondReadingOfAUnitARepeat) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> unit;
    std::string record;
  };
  const Case cases[] = {
      {"complete", [](Rig&) {},
       R"({"schema":3,"outcome":"ok","station":"bench-pc","port":"COM4","type":"P04","serial":305419896,"serial_text":"0305419896",)"
       R"("circuit":5,"software":"1.12","status":0,"elapsed_ms":)"},
      {"unit of another type", [](Rig& r) { r.Unit.Type = "P05"; },
       R"({"schema":3,"outcome":"wrong-unit","error":"wrong-unit","message":"L'appareil sur COM4 est de type )"
       R"(\"P05\" : ce n'est pas un Satellite de la KVR72 QLE (P04).","station":"bench-pc","port":"COM4","type":"P05",)"
       R"("status":100020,"elapsed_ms":)"},
      {"link lost in the serial number", [](Rig& r) { r.Unit.AnswersLeft = 1 + 6 + 3; },
       "{\"schema\":3,\"outcome\":\"link-lost\",\"error\":\"link-lost\",\"message\":\"L'appareil a "
       "cess\303\251 de r\303\251pondre pendant la lecture (code 100002). V\303\251rifiez le c\303\242ble et "
       "relancez la lecture.\",\"station\":\"bench-pc\",\"port\":\"COM4\",\"type\":\"P04\",\"status\":100002,\"elapsed_ms\":"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    r.Start();
    for (int reading = 0; reading < 2; ++reading) {
      c.unit(r);
      r.ReadToEnd();
    }
    const Lines journal = JournalLines(r);
    ASSERT_EQ(journal.size(), 2u);
    ExpectRecord(journal[0], c.record);
    // The unit's serial number was read: the next reading of it on the same port is a repeat.
    const bool serial = c.record.find("\"serial\"") != std::string::npos;
    ExpectRecord(journal[1], c.record, serial ? std::string(R"(,"repeat":true)") + kOrigin : kOrigin);
  }
}

TEST(Journal, AReadingThatCannotBeKeptIsSaidAfterItsLinesAndNoBox) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> failure;
    uint32_t language;
    const char* line;
  };
  const Case cases[] = {
      {"journal held by another program", [](Rig& r) { r.Records.OpenError = 32; }, 0,
       "Cette lecture n'a pas pu \352tre enregistr\351e."},
      {"no user folder", [](Rig& r) { r.Storage.LocalAppData.clear(); }, 1,
       "This reading could not be saved."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig r;
    c.failure(r);
    r.Start();
    r.Window->SetLanguage(c.language);
    const size_t before = r.Lines().size();
    r.ReadToEnd();
    Lines expected = CompleteReadingPane(c.language == 0 ? "fr" : "en");
    expected.push_back(c.line);
    EXPECT_EQ(r.LinesFrom(before), expected);
    EXPECT_TRUE(r.Toolkit.ErrorBoxes.empty());
    EXPECT_TRUE(r.Read().IsEnabled());
  }
}

}  // namespace
