// The remote configuration: the grammar of its body and the map it reads
// into (see config_value.h for the values the launcher takes from it).
#pragma once
#include <cstddef>
#include <map>
#include <string>

// Key to value. Keys compare code unit by code unit: no case folding, no
// normalisation.
using RemoteConfigMap = std::map<std::wstring, std::wstring>;

namespace tov {

// Adds the pairs of `body` to `map`. Lines end at LF only and nothing is
// trimmed (a CR before the LF stays in the value). The key is the text before
// the first "=", the value the text after it up to a second "=" or the end of
// the line. Lines without "=" and keys already present are skipped, so the
// first occurrence of a key wins.
void ParseConfigBody(const std::wstring& body, RemoteConfigMap& map);

// The value of `key`, or null when the key is absent (an empty value is
// not absent). Never inserts.
const std::wstring* FindConfigValue(const RemoteConfigMap& map, const std::wstring& key);

// The most body bytes a configuration may have; a longer answer ends the
// transfer as a failure. Real ones are a few hundred bytes.
inline constexpr size_t kMaxConfigBodyBytes = 1024 * 1024;

// The configuration request address: every "{ditch_name}" of the template
// becomes the channel name, case-sensitive and unescaped.
std::wstring BuildConfigAddress(const std::wstring& urlTemplate, const std::wstring& channel);

}  // namespace tov
