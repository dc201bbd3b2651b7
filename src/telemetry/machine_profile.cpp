#include "telemetry/machine_profile.h"

namespace tov {

MachineProfile BuildMachineProfile(const MachineProbes& probes) {
  MachineProfile profile;
  probes.readCpuName(profile.cpuName);
  probes.readMacAddress(profile.macAddress);
  probes.readOsVersion(profile.osVersion);
  probes.readMemoryInfo(profile.memoryInfo);
  probes.readClientUid(profile.clientUid);
  // The server gets only three of the fields, so the processor and memory
  // texts travel inside os_version.
  profile.osVersion = profile.osVersion + profile.cpuName + profile.memoryInfo;
  return profile;
}

bool ReadCpuNameValue(uint32_t type, const unsigned char* bytes, size_t count, std::wstring* name) {
  constexpr uint32_t kRegSz = 1;
  constexpr uint32_t kRegExpandSz = 2;
  if (type != kRegSz && type != kRegExpandSz) return false;
  name->clear();
  if (count == 0) return true;
  // A value without its terminating NUL could run into whatever follows it.
  if (count % 2 != 0 || bytes[count - 2] != 0 || bytes[count - 1] != 0) return false;
  for (size_t i = 0; i + 1 < count; i += 2) {
    wchar_t c = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == 0) break;
    name->push_back(c);
  }
  return true;
}

namespace {
void AppendHexByte(std::wstring& out, unsigned char b) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  out += kDigits[b >> 4];
  out += kDigits[b & 0xF];
}
}  // namespace

std::wstring ChooseAdapterAddress(const std::vector<AdapterEntry>& adapters) {
  for (const AdapterEntry& adapter : adapters) {
    // An adapter without a gateway shows 0.0.0.0; the one reported is the
    // first that reaches a network.
    if (!adapter.gateway.empty() && adapter.gateway[0] == '0') continue;
    std::wstring text;
    for (int i = 0; i < 6; ++i) {
      if (i) text += L'-';
      AppendHexByte(text, adapter.address[i]);
    }
    return text;
  }
  return kUnknownText;
}

SizedCallResult CallWithReportedSize(uint32_t firstSize,
                                     const std::function<uint32_t(void*, uint32_t*)>& call) {
  // Adapters can appear between two calls (a VPN connecting), so one more
  // try is not always enough; a handful bounds a list that never settles.
  constexpr int kAttempts = 4;
  SizedCallResult result;
  uint32_t size = firstSize;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    result.buffer.assign(size, 0);
    uint32_t reported = size;
    result.status = call(result.buffer.data(), &reported);
    if (result.status != kBufferOverflowStatus || reported <= size) break;
    size = reported;
  }
  if (result.status != 0) result.buffer.clear();
  return result;
}

std::wstring FormatRtlVersion(uint32_t major, uint32_t minor, uint32_t build) {
  return L"Version major:" + std::to_wstring(static_cast<int32_t>(major)) +
         L" minor:" + std::to_wstring(static_cast<int32_t>(minor)) +
         L" build:" + std::to_wstring(static_cast<int32_t>(build));
}

std::wstring OsVersionFromLadder(const VersionAtLeastTest& isVersionAtLeast) {
  struct Rung {
    uint16_t major, minor, servicePack;
    const wchar_t* text;
  };
  static const Rung kLadder[] = {
      {10, 0, 0, L"Windows10OrGreater"}, {6, 3, 0, L"Windows8Point1OrGreater"},
      {6, 2, 0, L"Windows8OrGreater"},   {6, 1, 1, L"Windows7SP1OrGreater"},
      {6, 1, 0, L"Windows7OrGreater"},   {6, 0, 2, L"VistaSP2OrGreater"},
      {6, 0, 1, L"VistaSP1OrGreater"},   {6, 0, 0, L"VistaOrGreater"},
  };
  for (const Rung& rung : kLadder) {
    if (isVersionAtLeast(rung.major, rung.minor, rung.servicePack)) return rung.text;
  }
  return L"ElderThanVista";
}

std::wstring FormatMemoryInfo(uint64_t totalPhysical, uint64_t totalVirtual) {
  return L"physical memory:" + std::to_wstring(totalPhysical >> 20) + L" MB virtual memory:" +
         std::to_wstring(totalVirtual >> 20) + L" MB";
}

}  // namespace tov
