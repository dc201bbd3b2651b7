// The configuration body comes from a server over plain HTTP: any bytes.
// Checked: what the map holds is what the body's lines say under the
// grammar (first "=" ends the key, a second ends the value, the first line
// of a key wins), the map survives being written back out and read again,
// and address templates are filled without losing or inventing text.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "provisioning/package_rules.h"
#include "provisioning/remote_config.h"

using tovfuzz::Check;

namespace {

// Occurrences of `what` in `text`, counted left to right without overlap.
size_t CountOf(const std::wstring& text, const std::wstring& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

void CheckMapAgainstLines(const std::wstring& body, const RemoteConfigMap& map) {
  // Every line with "=" is represented by its key, and the first such line
  // of each key gives the value.
  RemoteConfigMap seen;
  size_t start = 0;
  for (;;) {
    size_t lf = body.find(L'\n', start);
    std::wstring line = body.substr(start, lf == std::wstring::npos ? std::wstring::npos : lf - start);
    size_t eq = line.find(L'=');
    if (eq != std::wstring::npos) {
      std::wstring key = line.substr(0, eq);
      const std::wstring* value = tov::FindConfigValue(map, key);
      Check(value != nullptr, "a line with \"=\" left no key", line);
      if (!seen.count(key)) {
        seen.emplace(key, *value);
        // The value is the start of the rest of the line, up to "=" or the end.
        std::wstring rest = line.substr(eq + 1);
        Check(rest.compare(0, value->size(), *value) == 0, "value is not taken from its line", line);
        Check(rest.size() == value->size() || rest[value->size()] == L'=',
              "value stops short of \"=\" or the line end", line);
      }
    }
    if (lf == std::wstring::npos) break;
    start = lf + 1;
  }
  Check(seen.size() == map.size(), "the map holds a key no line gave");
  for (const auto& [key, value] : map) {
    Check(key.find_first_of(L"=\n") == std::wstring::npos, "a key holds \"=\" or LF", key);
    Check(value.find_first_of(L"=\n") == std::wstring::npos, "a value holds \"=\" or LF", value);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring body = tovfuzz::WideFromBytes(data, size);
  RemoteConfigMap map;
  tov::ParseConfigBody(body, map);
  CheckMapAgainstLines(body, map);

  // Parsing again adds nothing: every key is already there.
  RemoteConfigMap again = map;
  tov::ParseConfigBody(body, again);
  Check(again == map, "a second parse of the same body changed the map");

  // The map written back as lines reads back as itself.
  std::wstring written;
  for (const auto& [key, value] : map) written += key + L"=" + value + L"\n";
  RemoteConfigMap reread;
  tov::ParseConfigBody(written, reread);
  Check(reread == map, "the map written out does not read back", written);

  // Templates: every "{ditch_name}" replaced, the rest kept; the channel is
  // the body's first line and the template the rest.
  size_t lf = body.find(L'\n');
  std::wstring channel = body.substr(0, lf);
  std::wstring pattern = lf == std::wstring::npos ? L"" : body.substr(lf + 1);
  const std::wstring marker = L"{ditch_name}";
  std::wstring address = tov::BuildConfigAddress(pattern, channel);
  size_t n = CountOf(pattern, marker);
  Check(address.size() == pattern.size() + n * channel.size() - n * marker.size(),
        "the address has the wrong length for its replacements", address);
  if (channel.find(L'{') == std::wstring::npos && channel.find(L'}') == std::wstring::npos &&
      n == CountOf(pattern, L"{")) {
    Check(CountOf(address, marker) == 0, "a placeholder survived", address);
  }
  return 0;
}
