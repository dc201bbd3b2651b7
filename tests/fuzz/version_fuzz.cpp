// Version texts come from the local version file and from the server's
// ClientMiniUpdateVersion: any text. Checked: each field is the leading
// decimal number of its text, saturated to 32 bits (against the C library's
// own reading where the field is plain ASCII); a parsed version written out
// reads back as itself, also with anything after its fourth number; and the
// comparison behind the update decision is an order.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "fuzz_support.h"
#include "provisioning/version_rules.h"

using tovfuzz::Check;

namespace {

std::wstring Format(const LocalClientVersionRecord& v) {
  return std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) + L"." + std::to_wstring(v.build) + L"." +
         std::to_wstring(v.revision);
}

bool Same(const LocalClientVersionRecord& a, const LocalClientVersionRecord& b) {
  return a.major == b.major && a.minor == b.minor && a.build == b.build && a.revision == b.revision;
}

bool IsPlainAscii(const std::wstring& s) {
  for (wchar_t c : s) {
    if (c == 0 || c >= 0x7f) return false;
  }
  return true;
}

// The C library's reading of a leading decimal number, saturated to 32 bits.
int32_t ReferenceNumber(const std::wstring& field) {
  errno = 0;
  long long v = std::wcstoll(field.c_str(), nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

void CheckFields(const std::wstring& text, const LocalClientVersionRecord& v) {
  const int32_t got[4] = {v.major, v.minor, v.build, v.revision};
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    std::wstring field;
    if (start != std::wstring::npos) {
      size_t dot = text.find(L'.', start);
      field = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
      start = dot == std::wstring::npos ? std::wstring::npos : dot + 1;
    }
    if (IsPlainAscii(field)) {
      Check(got[i] == ReferenceNumber(field), "a field differs from its leading number", text);
    } else if (field.find_first_of(L"0123456789") == std::wstring::npos) {
      Check(got[i] == 0, "a field without digits is not 0", text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two versions: the local one before the first NUL, the minimum after it.
  std::vector<std::string> pieces = tovfuzz::SplitOnNul(data, size);
  const std::wstring localText = tovfuzz::WideFromBytes(pieces[0]);
  const std::wstring minimumText = pieces.size() > 1 ? tovfuzz::WideFromBytes(pieces[1]) : L"";

  LocalClientVersionRecord local = tov::ParseClientVersion(localText);
  LocalClientVersionRecord minimum = tov::ParseClientVersion(minimumText);
  CheckFields(localText, local);
  CheckFields(minimumText, minimum);

  // The version file holds the text the server sent; whatever follows the
  // fourth number (a line end, a comment, more fields) is not part of it.
  const std::wstring canonical = Format(local);
  Check(Same(tov::ParseClientVersion(canonical), local), "a version does not read back", canonical);
  const std::wstring tail = localText.empty() || (localText[0] >= L'0' && localText[0] <= L'9')
                                ? L"\r\n" + localText
                                : localText;
  Check(Same(tov::ParseClientVersion(canonical + tail), local), "text after the fourth number counted",
        canonical + tail);

  int ab = tov::CompareClientVersion(local, minimum);
  int ba = tov::CompareClientVersion(minimum, local);
  Check((ab > 0) == (ba < 0) && (ab == 0) == (ba == 0), "the comparison is not antisymmetric");
  Check((ab == 0) == Same(local, minimum), "equal versions do not compare equal");
  Check(tov::CompareClientVersion(local, local) == 0, "a version differs from itself");
  Check(tov::IsClientCurrent(local, &minimum) == (ab >= 0), "the update decision disagrees with the order");
  Check(!tov::IsClientCurrent(local, nullptr), "a client counts as current without a minimum");
  // A third version between them keeps the order transitive.
  LocalClientVersionRecord middle = local;
  middle.revision = minimum.revision;
  int am = tov::CompareClientVersion(local, middle);
  int mb = tov::CompareClientVersion(middle, minimum);
  if (am <= 0 && mb <= 0) Check(ab <= 0, "the comparison is not transitive");
  if (am >= 0 && mb >= 0) Check(ab >= 0, "the comparison is not transitive");
  return 0;
}
