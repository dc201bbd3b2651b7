// The Windows reads behind GetMachineProfile, one field each. They neither
// log nor fail: each leaves its fallback when the system says nothing.
#pragma once
#include <cstdint>
#include <string>

void ReadCpuName(std::wstring& field);
void ReadMacAddress(std::wstring& field);
void ReadOsVersion(std::wstring& field);
void ReadMemoryInfo(std::wstring& field);
// Reads over WMI on a thread of its own, which sets the process's COM
// security, so it belongs at the very start of a run. Each answer of WMI is
// waited for a few seconds at most; then the field keeps its fallback.
void ReadClientUid(std::wstring& field);

bool IsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor);
