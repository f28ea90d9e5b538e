// The stable names of a record's outcome and error.
#include "record/OutcomeNames.h"

const char* OutcomeName(ReadingOutcome outcome) {
  switch (outcome) {
    case ReadingOutcome::Ok:
      return "ok";
    case ReadingOutcome::WrongUnit:
      return "wrong-unit";
    case ReadingOutcome::NoAnswer:
      return "no-answer";
    case ReadingOutcome::LinkLost:
      return "link-lost";
    case ReadingOutcome::PortError:
      return "port-error";
    case ReadingOutcome::Interrupted:
      return "interrupted";
  }
  return "port-error";
}

const char* RecordOutcomeName(const ReadingRecord& record) {
  return record.Rejected != ReadingRecord::Rejection::None ? "rejected" : OutcomeName(record.Reading.Outcome);
}

std::string ErrorName(const ReadingRecord& record) {
  const UnitReading& r = record.Reading;
  if (record.Rejected == ReadingRecord::Rejection::Software) return "unexpected-software";
  if (record.Rejected == ReadingRecord::Rejection::Circuit) return "unexpected-circuit";
  if (r.Outcome == ReadingOutcome::NoAnswer && r.Refused) return "refused";
  switch (r.Outcome) {
    case ReadingOutcome::Ok:
      return std::string();
    case ReadingOutcome::LinkLost:
      // Characters that are no hexadecimal digits: noise, a wrong rate or another device, not silence.
      return r.Status == COMERR_BAD_REPLY ? "bad-reply" : "link-lost";
    case ReadingOutcome::PortError:
      switch (r.Problem) {
        case PortProblem::Busy:
          return "port-busy";
        case PortProblem::Missing:
          return "port-missing";
        case PortProblem::Permission:
          return "permission";
        case PortProblem::NotSerial:
          return "not-a-serial-port";
        case PortProblem::NoneToChoose:
          return "no-port";
        case PortProblem::Ambiguous:
          return "ambiguous-port";
        case PortProblem::ListUnreadable:
          return "port-list-unreadable";
        default:
          return "port-error";
      }
    default:
      return OutcomeName(r.Outcome);
  }
}
