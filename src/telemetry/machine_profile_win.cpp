#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "base/unique_handle.h"
#include "telemetry/machine_probes.h"
#include "telemetry/machine_profile.h"

void ReadCpuName(std::wstring& field) {
  field.clear();
  tov::UniqueRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                      KEY_READ, key.put()) != ERROR_SUCCESS) {
    return;
  }
  unsigned char value[512] = {};
  DWORD type = 0;
  DWORD count = sizeof value;
  if (::RegQueryValueExW(key.get(), L"ProcessorNameString", nullptr, &type, value, &count) !=
      ERROR_SUCCESS) {
    return;
  }
  std::wstring name;
  if (tov::ReadCpuNameValue(type, value, count, &name)) field = name;
}

void ReadMacAddress(std::wstring& field) {
  field = tov::kUnknownText;
  // Room for five adapters at first; a machine with more (VPN and virtual
  // adapters are common) is asked again with the size it reports.
  tov::SizedCallResult list =
      tov::CallWithReportedSize(5 * sizeof(IP_ADAPTER_INFO), [](void* buffer, uint32_t* size) {
        ULONG length = *size;
        DWORD status = ::GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &length);
        *size = length;
        return static_cast<uint32_t>(status);
      });
  if (list.status != NO_ERROR || list.buffer.empty()) return;
  std::vector<tov::AdapterEntry> adapters;
  for (auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(list.buffer.data()); a; a = a->Next) {
    tov::AdapterEntry entry;
    entry.gateway = a->GatewayList.IpAddress.String;
    static_assert(sizeof entry.address == sizeof a->Address, "the whole address field is copied");
    memcpy(entry.address, a->Address, sizeof entry.address);
    adapters.push_back(entry);
  }
  field = tov::ChooseAdapterAddress(adapters);
}

bool IsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor) {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = servicePackMajor;
  DWORDLONG mask = 0;
  mask = ::VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = ::VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return ::VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                              mask) != FALSE;
}

void ReadOsVersion(std::wstring& field) {
  field = tov::kUnknownText;
  // The exact numbers come from ntdll: the documented version calls answer
  // with the version the executable's manifest claims to support.
  using RtlGetVersionFn = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
  if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(ntdll, "RtlGetVersion")));
    if (rtlGetVersion) {
      RTL_OSVERSIONINFOW info{};
      info.dwOSVersionInfoSize = sizeof info;
      if (rtlGetVersion(&info) == 0) {
        field = tov::FormatRtlVersion(info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
        return;
      }
    }
  }
  field = tov::OsVersionFromLadder(IsVersionAtLeast);
}

void ReadMemoryInfo(std::wstring& field) {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  ::GlobalMemoryStatus(&status);
  field = tov::FormatMemoryInfo(status.dwTotalPhys, status.dwTotalVirtual);
}

const MachineProfile& GetMachineProfile() {
  static const MachineProfile* profile = new MachineProfile(tov::BuildMachineProfile(
      {ReadCpuName, ReadMacAddress, ReadOsVersion, ReadMemoryInfo, ReadClientUid}));
  return *profile;
}
