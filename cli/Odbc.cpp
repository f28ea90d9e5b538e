// The ODBC entry points found by name, and the text conversions of the wide calls.
#include "cli/Odbc.h"

#include "text/Utf8.h"

namespace odbc {

bool FillCalls(Calls& calls, void* (*lookup)(void* library, const char* name), void* library,
               std::string& missing) {
  const std::pair<void**, const char*> entries[] = {
      {reinterpret_cast<void**>(&calls.AllocHandle), "SQLAllocHandle"},
      {reinterpret_cast<void**>(&calls.FreeHandle), "SQLFreeHandle"},
      {reinterpret_cast<void**>(&calls.SetEnvAttr), "SQLSetEnvAttr"},
      {reinterpret_cast<void**>(&calls.SetConnectAttrW), "SQLSetConnectAttrW"},
      {reinterpret_cast<void**>(&calls.DriverConnectW), "SQLDriverConnectW"},
      {reinterpret_cast<void**>(&calls.Disconnect), "SQLDisconnect"},
      {reinterpret_cast<void**>(&calls.ExecDirectW), "SQLExecDirectW"},
      {reinterpret_cast<void**>(&calls.PrepareW), "SQLPrepareW"},
      {reinterpret_cast<void**>(&calls.BindParameter), "SQLBindParameter"},
      {reinterpret_cast<void**>(&calls.Execute), "SQLExecute"},
      {reinterpret_cast<void**>(&calls.RowCount), "SQLRowCount"},
      {reinterpret_cast<void**>(&calls.NumResultCols), "SQLNumResultCols"},
      {reinterpret_cast<void**>(&calls.DescribeColW), "SQLDescribeColW"},
      {reinterpret_cast<void**>(&calls.FreeStmt), "SQLFreeStmt"},
      {reinterpret_cast<void**>(&calls.EndTran), "SQLEndTran"},
      {reinterpret_cast<void**>(&calls.GetDiagRecW), "SQLGetDiagRecW"},
  };
  for (const auto& [slot, name] : entries) {
    *slot = lookup(library, name);
    if (*slot == nullptr) {
      missing = name;
      return false;
    }
  }
  return true;
}

Wide Utf16(const std::string& utf8) {
  const std::string text = ValidUtf8(utf8);
  Wide out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    for (size_t k = 1; k < length && i + k < text.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<WChar>(0xD800 + (code >> 10)));
      out.push_back(static_cast<WChar>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<WChar>(code));
    }
  }
  out.push_back(0);
  return out;
}

std::string Utf8(const WChar* text, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

}  // namespace odbc
