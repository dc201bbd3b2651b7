// A keyed build's configuration body: any bytes from a server over plain
// HTTP, read before and after its signature is checked. Checked: the split
// at the signature line leaves exactly the bytes before the last line as
// signed and gives back that line's hex; a sequence or a time that parses
// writes back as its text; the seal passes only a body whose channel,
// sequence and expiry hold.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "provisioning/config_seal.h"

using tovfuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const std::wstring text = tovfuzz::WideFromBytes(data, size);
  const tov::SignedBody split = tov::SplitSignedBody(body);
  if (split.check != tov::ConfigCheck::SignatureMissing) {
    const size_t at = split.signedLength;
    Check(at == 0 || body[at - 1] == '\n', "the signed part does not end a line", text);
    Check(body.compare(at, 16, tov::kConfigSignaturePrefix) == 0, "the cut is not at the line", text);
    Check(body.find('\n', at) >= body.size() - 1, "the signature line is not the last", text);
  }
  if (split.check == tov::ConfigCheck::Passed) {
    std::string line = body.substr(split.signedLength + 16);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
    Check(line == tov::ToHex(split.signature.data(), split.signature.size()),
          "the signature read is not the line's hex", text);
  }

  uint64_t number = 0;
  if (tov::ParseUnsignedDecimal(text, number)) {
    const size_t digits = text.find_first_not_of(L'0');
    Check(std::to_wstring(number) == (digits == std::wstring::npos ? L"0" : text.substr(digits)),
          "a sequence does not write back as its digits", text);
  }
  int64_t seconds = 0;
  if (tov::ParseUtcTime(text, seconds)) {
    Check(tov::FormatUtcTime(seconds) == text, "a time does not write back as its text", text);
  }

  RemoteConfigMap values;
  tov::ParseConfigBody(text, values);
  tov::ConfigSeal seal;
  const tov::SealContext context{L"chan", 42, 1765324800};
  if (tov::CheckConfigSeal(values, context, seal).check == tov::ConfigCheck::Passed) {
    Check(seal.channel == context.channel && seal.sequence >= context.highestSequence &&
              seal.expires >= context.now,
          "a seal passed that does not hold", text);
  }
  return 0;
}
