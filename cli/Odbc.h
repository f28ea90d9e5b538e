// The few ODBC types, constants and wide calls `ship` uses, declared here so that building needs no
// ODBC development files: the driver manager (unixODBC's libodbc.so.2, Windows' odbc32.dll) is loaded
// when `ship` runs, never by a reading. Only the wide (W) calls: Wine's odbc32 has no SQLDriverConnectA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#define BRAVELLE_SQL_API __stdcall
#else
#define BRAVELLE_SQL_API
#endif

namespace odbc {

using Handle = void*;
using SmallInt = int16_t;
using USmallInt = uint16_t;
using Integer = int32_t;
// SQLLEN and SQLULEN are pointer-sized on both 64-bit systems (unixODBC without its legacy mode).
using Len = intptr_t;
using ULen = uintptr_t;
// UTF-16 on both: Windows' own, and unixODBC's SQLWCHAR, which the PostgreSQL driver speaks.
using WChar = char16_t;
using Return = SmallInt;

constexpr SmallInt kHandleEnv = 1, kHandleDbc = 2, kHandleStmt = 3;
constexpr Return kSuccess = 0, kSuccessWithInfo = 1, kNoData = 100;
constexpr Integer kAttrOdbcVersion = 200, kOdbc3 = 3;
constexpr Integer kAttrAutocommit = 102, kAutocommitOff = 0, kAttrLoginTimeout = 103;
constexpr USmallInt kDriverNoPrompt = 0;
constexpr Integer kNts = -3;
constexpr Len kNullData = -1;
constexpr SmallInt kParamInput = 1, kCWChar = -8, kWVarChar = -9;
constexpr SmallInt kCommit = 0, kRollback = 1;
constexpr USmallInt kClose = 0;
// Column types as SQLDescribeColW tells them.
constexpr SmallInt kChar = 1, kNumeric = 2, kDecimal = 3, kInteger = 4, kSmallInt = 5, kVarChar = 12,
                   kLongVarChar = -1, kBigInt = -5, kTinyInt = -6, kBit = -7, kWChar = -8, kWVarCharType = -9,
                   kWLongVarChar = -10;

inline bool Ok(Return r) { return r == kSuccess || r == kSuccessWithInfo; }

// The driver manager's entry points.
struct Calls {
  Return(BRAVELLE_SQL_API* AllocHandle)(SmallInt type, Handle input, Handle* output);
  Return(BRAVELLE_SQL_API* FreeHandle)(SmallInt type, Handle handle);
  Return(BRAVELLE_SQL_API* SetEnvAttr)(Handle env, Integer attribute, void* value, Integer length);
  Return(BRAVELLE_SQL_API* SetConnectAttrW)(Handle dbc, Integer attribute, void* value, Integer length);
  Return(BRAVELLE_SQL_API* DriverConnectW)(Handle dbc, void* window, WChar* in, SmallInt inLength, WChar* out,
                                           SmallInt outMax, SmallInt* outLength, USmallInt completion);
  Return(BRAVELLE_SQL_API* Disconnect)(Handle dbc);
  Return(BRAVELLE_SQL_API* ExecDirectW)(Handle stmt, WChar* text, Integer length);
  Return(BRAVELLE_SQL_API* PrepareW)(Handle stmt, WChar* text, Integer length);
  Return(BRAVELLE_SQL_API* BindParameter)(Handle stmt, USmallInt number, SmallInt direction, SmallInt cType,
                                          SmallInt sqlType, ULen size, SmallInt digits, void* value,
                                          Len capacity, Len* length);
  Return(BRAVELLE_SQL_API* Execute)(Handle stmt);
  Return(BRAVELLE_SQL_API* RowCount)(Handle stmt, Len* rows);
  Return(BRAVELLE_SQL_API* NumResultCols)(Handle stmt, SmallInt* columns);
  Return(BRAVELLE_SQL_API* DescribeColW)(Handle stmt, USmallInt column, WChar* name, SmallInt capacity,
                                         SmallInt* nameLength, SmallInt* type, ULen* size, SmallInt* digits,
                                         SmallInt* nullable);
  Return(BRAVELLE_SQL_API* FreeStmt)(Handle stmt, USmallInt option);
  Return(BRAVELLE_SQL_API* EndTran)(SmallInt type, Handle handle, SmallInt completion);
  Return(BRAVELLE_SQL_API* GetDiagRecW)(SmallInt type, Handle handle, SmallInt record, WChar* state,
                                        Integer* native, WChar* message, SmallInt capacity, SmallInt* length);
};

// Every entry point by its exported name through lookup (dlsym, GetProcAddress, given library as its
// first argument); false with the name of the first one missing.
bool FillCalls(Calls& calls, void* (*lookup)(void* library, const char* name), void* library,
               std::string& missing);

// UTF-8 and the driver manager's UTF-16, both ways (bytes that are no UTF-8 become U+FFFD). UTF-16 as a
// vector ending in a zero unit, not std::u16string: the static C++ runtime would bring its whole
// instantiation into bravelle-cli.exe.
using Wide = std::vector<WChar>;
Wide Utf16(const std::string& utf8);
std::string Utf8(const WChar* text, size_t length);

}  // namespace odbc
