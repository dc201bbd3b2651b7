// Archive entry names come from a package fetched over plain HTTP. Checked:
// a name the entry-name check lets through never lands outside the client
// directory once Windows has resolved it (leading separators, drive
// letters, steps up written with trailing dots or blanks), read the way
// the extraction reads it.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "provisioning/package_rules.h"

using tovfuzz::Check;

namespace {

void CheckName(const std::wstring& name) {
  std::wstring reason = tov::UnsafeEntryReason(name);
  if (!reason.empty()) return;
  Check(!name.empty(), "an empty name was let through");
  Check(tovfuzz::StaysBelowDirectory(name), "a name that leaves the client directory was let through", name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The extraction reads a name as a C string, so it ends at the first NUL;
  // then as UTF-8 (names flagged so) or byte for byte (a code page).
  const size_t length = std::find(data, data + size, 0) - data;
  const std::wstring utf8 = tovfuzz::WideFromBytes(data, length);
  CheckName(utf8);
  CheckName(std::wstring(data, data + length));
  // A directory entry names the same place without its final "/".
  if (!utf8.empty() && utf8.back() == L'/') CheckName(utf8.substr(0, utf8.size() - 1));
  return 0;
}
