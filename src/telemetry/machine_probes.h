// The Windows reads behind GetMachineProfile, one field each. They neither
// log nor fail: each leaves its fallback when the system says nothing.
#pragma once
#include <cstdint>
#include <string>

void ReadCpuName(std::wstring& field);
void ReadMacAddress(std::wstring& field);
void ReadOsVersion(std::wstring& field);
void ReadMemoryInfo(std::wstring& field);
// Initialises COM on the calling thread for the duration of the call and
// sets the process's COM security, so it belongs at the very start of a run.
void ReadClientUid(std::wstring& field);

bool IsVersionAtLeast(uint16_t major, uint16_t minor, uint16_t servicePackMajor);
