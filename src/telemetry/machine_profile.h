// The five texts that describe this machine in every telemetry report, and
// the plain choices behind them. The Windows reads that feed these choices
// are in machine_probes.h.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct MachineProfile {
  std::wstring cpuName;
  std::wstring macAddress;
  std::wstring osVersion;  // after the build: version text + cpuName + memoryInfo
  std::wstring memoryInfo;
  std::wstring clientUid;
};

// Built on first use, from any thread; later calls return the same record
// without asking the system again. It is never freed, so threads still
// reporting during process exit can read it.
const MachineProfile& GetMachineProfile();

namespace tov {

// What the server receives when a step found nothing; the spelling is part
// of the report format.
inline constexpr const wchar_t* kUnknownText = L"unkown";

// The five steps, each filling the field it is given, in the order the
// build runs them.
struct MachineProbes {
  std::function<void(std::wstring&)> readCpuName;
  std::function<void(std::wstring&)> readMacAddress;
  std::function<void(std::wstring&)> readOsVersion;
  std::function<void(std::wstring&)> readMemoryInfo;
  std::function<void(std::wstring&)> readClientUid;
};
MachineProfile BuildMachineProfile(const MachineProbes& probes);

// The processor name as stored in the registry: `bytes` holds `count` bytes
// of a REG_SZ (1) or REG_EXPAND_SZ (2) value in UTF-16LE. False when the
// value must be rejected (other type, odd length, not NUL-terminated).
bool ReadCpuNameValue(uint32_t type, const unsigned char* bytes, size_t count, std::wstring* name);

// One entry of the system's adapter list, as far as the choice needs it.
struct AdapterEntry {
  std::string gateway;         // text of the first gateway address
  unsigned char address[8]{};  // hardware address; the first six are used
};
// The address of the first adapter whose gateway does not begin with '0',
// as "AA-BB-CC-DD-EE-FF"; kUnknownText when none qualifies.
std::wstring ChooseAdapterAddress(const std::vector<AdapterEntry>& adapters);

// A system call that fills a caller's buffer and, when it is too small,
// answers kBufferOverflowStatus with the size it needs.
inline constexpr uint32_t kBufferOverflowStatus = 111;  // ERROR_BUFFER_OVERFLOW
struct SizedCallResult {
  uint32_t status = kBufferOverflowStatus;
  std::vector<unsigned char> buffer;
};
// Calls with `firstSize` bytes and asks again with the size the system
// reports, a few times over since the list may grow between two calls.
SizedCallResult CallWithReportedSize(uint32_t firstSize,
                                     const std::function<uint32_t(void*, uint32_t*)>& call);

std::wstring FormatRtlVersion(uint32_t major, uint32_t minor, uint32_t build);

// The version text when the exact numbers are not available: the first row
// of the ladder (newest first) whose test passes.
using VersionAtLeastTest = std::function<bool(uint16_t major, uint16_t minor, uint16_t servicePack)>;
std::wstring OsVersionFromLadder(const VersionAtLeastTest& isVersionAtLeast);

// Totals in bytes, shown in whole megabytes (truncated).
std::wstring FormatMemoryInfo(uint64_t totalPhysical, uint64_t totalVirtual);

}  // namespace tov
