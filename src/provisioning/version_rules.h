// The installed client's version and the update decision.
#pragma once
#include <cstdint>
#include <string>

struct LocalClientVersionRecord {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t build = 0;
  int32_t revision = 0;
};

namespace tov {

// The installed client's version file in the client directory: the text
// of the configured ClientVersion, no line end.
inline constexpr const wchar_t* kVersionFileName = L"game_client_version.txt";

// Four "."-separated fields, each read as its leading decimal number
// (leading blanks skipped, optional sign, saturating at the 32-bit limits);
// a missing field or one without digits is 0.
LocalClientVersionRecord ParseClientVersion(const std::wstring& text);

// Negative when a < b, 0 when equal, positive when a > b; field by field.
int CompareClientVersion(const LocalClientVersionRecord& a, const LocalClientVersionRecord& b);

// Whether the installed client may stay: only when a minimum is configured
// and the local version is not below it. Without a minimum the package is
// fetched on every start.
bool IsClientCurrent(const LocalClientVersionRecord& local, const LocalClientVersionRecord* minimum);

}  // namespace tov
