// The login result text comes from page script: any text. Checked: it is
// malformed exactly when it is empty or has no "|"; it is accepted exactly
// when its first field is "true" in some mix of ASCII cases; the accepted
// login parameters are the text between the first and second "|"; and a
// refused or malformed text carries no parameters on to the game.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "web/login_launch.h"

using tovfuzz::Check;

namespace {

bool IsTrueInAnyCase(const std::wstring& field) {
  static const wchar_t kLower[] = L"true";
  static const wchar_t kUpper[] = L"TRUE";
  if (field.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (field[i] != kLower[i] && field[i] != kUpper[i]) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = tovfuzz::WideFromBytes(data, size);
  tov::LoginResult result = tov::ParseLoginResult(text);
  const size_t bar = text.find(L'|');

  if (text.empty() || bar == std::wstring::npos) {
    Check(result.kind == tov::LoginResult::Malformed, "a text without \"|\" was not malformed", text);
  } else if (IsTrueInAnyCase(text.substr(0, bar))) {
    Check(result.kind == tov::LoginResult::Accepted, "a \"true\" result was not accepted", text);
  } else {
    Check(result.kind == tov::LoginResult::Refused, "a result other than \"true\" was not refused", text);
  }
  if (result.kind != tov::LoginResult::Accepted) {
    Check(result.params.empty(), "parameters kept from a text that was not accepted", text);
    return 0;
  }
  // The parameters are one field: they stand right after the first "|" and
  // end at the next one or at the end.
  const std::wstring& params = result.params;
  Check(params.find(L'|') == std::wstring::npos, "the parameters hold a \"|\"", params);
  Check(text.compare(bar + 1, params.size(), params) == 0, "the parameters are not the second field", text);
  size_t after = bar + 1 + params.size();
  Check(after == text.size() || text[after] == L'|', "the parameters stop inside the second field", text);

  // Whatever follows a second "|" does not reach the parameters.
  tov::LoginResult extended = tov::ParseLoginResult(L"TRUE|" + params + L"|" + text);
  Check(extended.kind == tov::LoginResult::Accepted && extended.params == params,
        "text after the second \"|\" changed the parameters", text);
  return 0;
}
