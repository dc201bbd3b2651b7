// Writes small zip archives by hand for tests, including the broken ones no
// tool would make.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

struct TestZipEntry {
  std::string name;
  std::string data;
  bool utf8Name = false;
  bool corruptCrc = false;
  // Stored as "deflated" although the bytes are no deflate stream.
  bool garbageDeflate = false;
  // The method the headers name for the bytes as they are (-1: stored),
  // and extra general-purpose flags (1: encrypted).
  int method = -1;
  uint16_t extraFlags = 0;
  // Declared this much longer than the bytes stored.
  uint32_t missingBytes = 0;
};

inline void ZipPut16(std::string& s, uint16_t v) { s.append({char(v & 0xff), char(v >> 8)}); }
inline void ZipPut32(std::string& s, uint32_t v) {
  ZipPut16(s, uint16_t(v & 0xffff));
  ZipPut16(s, uint16_t(v >> 16));
}

inline std::string BuildTestZip(const std::vector<TestZipEntry>& entries) {
  std::string out, central;
  for (const auto& e : entries) {
    uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), e.data.size());
    if (e.corruptCrc) crc ^= 0xdeadbeef;
    uint16_t flags = static_cast<uint16_t>((e.utf8Name ? 0x0800 : 0) | e.extraFlags);
    uint16_t method = e.method >= 0 ? static_cast<uint16_t>(e.method) : e.garbageDeflate ? 8 : 0;
    uint32_t declared = e.data.size() + e.missingBytes;
    uint32_t offset = out.size();
    ZipPut32(out, 0x04034b50); ZipPut16(out, 20); ZipPut16(out, flags); ZipPut16(out, method);
    ZipPut16(out, 0); ZipPut16(out, 0x21);
    ZipPut32(out, crc); ZipPut32(out, e.data.size()); ZipPut32(out, declared);
    ZipPut16(out, e.name.size()); ZipPut16(out, 0);
    out += e.name + e.data;
    ZipPut32(central, 0x02014b50); ZipPut16(central, 20); ZipPut16(central, 20);
    ZipPut16(central, flags); ZipPut16(central, method); ZipPut16(central, 0); ZipPut16(central, 0x21);
    ZipPut32(central, crc); ZipPut32(central, e.data.size()); ZipPut32(central, declared);
    ZipPut16(central, e.name.size()); ZipPut16(central, 0); ZipPut16(central, 0);
    ZipPut16(central, 0); ZipPut16(central, 0); ZipPut32(central, 0); ZipPut32(central, offset);
    central += e.name;
  }
  uint32_t cdOffset = out.size();
  out += central;
  ZipPut32(out, 0x06054b50); ZipPut16(out, 0); ZipPut16(out, 0);
  ZipPut16(out, entries.size()); ZipPut16(out, entries.size());
  ZipPut32(out, central.size()); ZipPut32(out, cdOffset); ZipPut16(out, 0);
  return out;
}
