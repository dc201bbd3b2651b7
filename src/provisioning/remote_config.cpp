#include "provisioning/remote_config.h"

#include "provisioning/package_rules.h"

namespace tov {

namespace {

void ParseLine(const std::wstring& body, size_t begin, size_t end, RemoteConfigMap& map) {
  size_t firstEq = body.find(L'=', begin);
  if (firstEq == std::wstring::npos || firstEq >= end) return;
  size_t valueBegin = firstEq + 1;
  size_t secondEq = body.find(L'=', valueBegin);
  size_t valueEnd = (secondEq == std::wstring::npos || secondEq > end) ? end : secondEq;
  // emplace leaves an existing key alone: the first occurrence wins.
  map.emplace(body.substr(begin, firstEq - begin), body.substr(valueBegin, valueEnd - valueBegin));
}

}  // namespace

void ParseConfigBody(const std::wstring& body, RemoteConfigMap& map) {
  size_t begin = 0;
  for (;;) {
    size_t lf = body.find(L'\n', begin);
    size_t end = lf == std::wstring::npos ? body.size() : lf;
    ParseLine(body, begin, end, map);
    if (lf == std::wstring::npos) return;
    begin = lf + 1;
  }
}

const std::wstring* FindConfigValue(const RemoteConfigMap& map, const std::wstring& key) {
  auto it = map.find(key);
  return it == map.end() ? nullptr : &it->second;
}

std::wstring BuildConfigAddress(const std::wstring& urlTemplate, const std::wstring& channel) {
  return ReplaceAll(urlTemplate, L"{ditch_name}", channel);
}

}  // namespace tov
