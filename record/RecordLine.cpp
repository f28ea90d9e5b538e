// A JSON record read back field by field: a small parser of one flat object, strict enough that a line
// cut short or spoilt is never taken for a record.
#include "record/RecordLine.h"

#include <cstdint>

#include "text/Utf8.h"

namespace {

class Cursor {
 public:
  explicit Cursor(const std::string& text) : text_(text) {}
  bool Take(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool AtEnd() const { return at_ == text_.size(); }

  bool Hex4(uint32_t& code) {
    code = 0;
    for (int i = 0; i < 4; ++i) {
      if (at_ >= text_.size()) return false;
      const char c = text_[at_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }

  // A JSON string; bytes: \u00XX is that byte (how a unit's type is written), not a character.
  bool String(std::string& out, bool bytes) {
    out.clear();
    if (!Take('"')) return false;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      const char* simple = "\"\\/bfnrt";
      const char* meant = "\"\\/\b\f\n\r\t";
      bool done = false;
      for (int i = 0; simple[i] != '\0' && !done; ++i) {
        if (e != simple[i]) continue;
        out += meant[i];
        done = true;
      }
      if (done) continue;
      uint32_t code = 0;
      if (e != 'u' || !Hex4(code)) return false;
      if (bytes && code < 0x100) {
        out += static_cast<char>(code);
        continue;
      }
      if (code >= 0xD800 && code < 0xDC00) {
        uint32_t low = 0;
        if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      }
      AppendUtf8(out, code);
    }
    return false;
  }

  // A number, true, false or null, as written.
  bool Bare(std::string& out) {
    out.clear();
    while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '}') out += text_[at_++];
    if (out == "true" || out == "false" || out == "null") return true;
    size_t i = out[0] == '-' ? 1 : 0;
    if (i >= out.size()) return false;
    for (; i < out.size(); ++i)
      if (out[i] < '0' || out[i] > '9') return false;
    return true;
  }
  bool NextIsString() const { return at_ < text_.size() && text_[at_] == '"'; }

 private:
  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

bool ParseRecordFields(const std::string& line, std::vector<RecordField>& fields) {
  fields = RecordFields(ReadingRecord());
  for (RecordField& f : fields) {
    f.Present = false;
    f.Value.clear();
  }
  Cursor in(line);
  if (!in.Take('{')) return false;
  bool first = true;
  bool schema = false;
  std::string key;
  std::string value;
  while (!in.Take('}')) {
    if (!first && !in.Take(',')) return false;
    first = false;
    if (!in.String(key, false) || !in.Take(':')) return false;
    RecordField* field = nullptr;
    for (RecordField& f : fields)
      if (key == f.Name) field = &f;
    const bool text = in.NextIsString();
    if (text ? !in.String(value, field != nullptr && field->Type == RecordField::Bytes) : !in.Bare(value))
      return false;
    if (field == nullptr) continue;
    // A value of the wrong kind is another program's line, not ours.
    const bool wantsText = field->Type == RecordField::Text || field->Type == RecordField::Bytes;
    if (text != wantsText || (field->Type == RecordField::Flag && value != "true" && value != "false"))
      return false;
    if (field->Type == RecordField::Number && (value == "true" || value == "false" || value == "null"))
      return false;
    field->Present = field->Type != RecordField::Flag || value == "true";
    field->Value = value;
    schema = schema || key == "schema";
  }
  return in.AtEnd() && schema;
}

const RecordField* FindField(const std::vector<RecordField>& fields, const std::string& name) {
  for (const RecordField& f : fields)
    if (f.Present && name == f.Name) return &f;
  return nullptr;
}
