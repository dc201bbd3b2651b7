#include "telemetry/machine_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

namespace tov {
namespace {

std::vector<unsigned char> Utf16Le(const std::u16string& text, bool terminate) {
  std::vector<unsigned char> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xff));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  if (terminate) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

TEST(MachineProfileBuild, RunsTheStepsInOrderOnEmptyFieldsAndJoinsTheOsText) {
  std::vector<std::string> order;
  auto step = [&order](const char* name, const wchar_t* value) {
    return [&order, name, value](std::wstring& field) {
      EXPECT_TRUE(field.empty()) << name << " found a field already filled";
      order.push_back(name);
      field = value;
    };
  };
  MachineProbes probes{step("cpu", L"Intel(R) Core(TM) i5 / 3.2GHz?"), step("mac", L"00-1A-2B-3C-4D-5E"),
                       step("os", L"Version major:10 minor:0 build:19045"),
                       step("memory", L"physical memory:8192 MB virtual memory:134217727 MB"),
                       step("uid", L"0123456789abcdef0123456789abcdef")};
  MachineProfile p = BuildMachineProfile(probes);
  EXPECT_EQ(order, (std::vector<std::string>{"cpu", "mac", "os", "memory", "uid"}));
  EXPECT_EQ(p.osVersion,
            L"Version major:10 minor:0 build:19045Intel(R) Core(TM) i5 / 3.2GHz?"
            L"physical memory:8192 MB virtual memory:134217727 MB");
  EXPECT_EQ(p.cpuName, L"Intel(R) Core(TM) i5 / 3.2GHz?");
  EXPECT_EQ(p.macAddress, L"00-1A-2B-3C-4D-5E");
  EXPECT_EQ(p.memoryInfo, L"physical memory:8192 MB virtual memory:134217727 MB");
  EXPECT_EQ(p.clientUid, L"0123456789abcdef0123456789abcdef");
}

TEST(MachineProfileBuild, WithoutAProcessorNameTheOsTextHoldsVersionAndMemoryOnly) {
  auto set = [](const wchar_t* v) { return [v](std::wstring& f) { f = v; }; };
  MachineProfile p = BuildMachineProfile({[](std::wstring&) {}, set(L"unkown"), set(L"ElderThanVista"),
                                          set(L"physical memory:1 MB virtual memory:2 MB"), set(L"unkown")});
  EXPECT_EQ(p.cpuName, L"");
  EXPECT_EQ(p.osVersion, L"ElderThanVistaphysical memory:1 MB virtual memory:2 MB");
}

TEST(CpuNameValue, AcceptsTerminatedStringsOfBothStringTypes) {
  std::wstring name = L"stale";
  auto v = Utf16Le(u"AMD Ryzen 7 \u00e9\u4e2d", true);
  ASSERT_TRUE(ReadCpuNameValue(1, v.data(), v.size(), &name));
  EXPECT_EQ(name, L"AMD Ryzen 7 \u00e9\u4e2d");
  // An expandable string is taken as stored.
  v = Utf16Le(u"%PROCESSOR%", true);
  ASSERT_TRUE(ReadCpuNameValue(2, v.data(), v.size(), &name));
  EXPECT_EQ(name, L"%PROCESSOR%");
  // The text ends at its first NUL.
  v = Utf16Le(u"abc", true);
  auto tail = Utf16Le(u"zz", true);
  v.insert(v.end(), tail.begin(), tail.end());
  ASSERT_TRUE(ReadCpuNameValue(1, v.data(), v.size(), &name));
  EXPECT_EQ(name, L"abc");
  ASSERT_TRUE(ReadCpuNameValue(1, v.data(), 0, &name));
  EXPECT_EQ(name, L"");
}

TEST(CpuNameValue, RejectsOtherTypesOddLengthsAndMissingTerminators) {
  std::wstring name;
  auto v = Utf16Le(u"Intel", true);
  EXPECT_FALSE(ReadCpuNameValue(3, v.data(), v.size(), &name));  // binary
  EXPECT_FALSE(ReadCpuNameValue(7, v.data(), v.size(), &name));  // multi-string
  EXPECT_FALSE(ReadCpuNameValue(1, v.data(), v.size() - 1, &name));
  auto unterminated = Utf16Le(u"Intel", false);
  EXPECT_FALSE(ReadCpuNameValue(1, unterminated.data(), unterminated.size(), &name));
  // A single byte (half a character) is odd too.
  EXPECT_FALSE(ReadCpuNameValue(1, v.data(), 1, &name));
}

AdapterEntry Adapter(const char* gateway, std::initializer_list<unsigned char> address) {
  AdapterEntry a;
  a.gateway = gateway;
  std::copy(address.begin(), address.end(), a.address);
  return a;
}

TEST(AdapterChoice, FirstAdapterWithAGatewayNotStartingWithZeroWins) {
  EXPECT_EQ(ChooseAdapterAddress({Adapter("0.0.0.0", {1, 2, 3, 4, 5, 6}),
                                  Adapter("192.168.1.1", {0x0a, 0xbc, 0, 0xff, 0x10, 0x01, 0x77, 0x88}),
                                  Adapter("10.0.0.1", {9, 9, 9, 9, 9, 9})}),
            L"0A-BC-00-FF-10-01");
  // An empty gateway text does not begin with '0', so it qualifies.
  EXPECT_EQ(ChooseAdapterAddress({Adapter("0.0.0.0", {1, 1, 1, 1, 1, 1}), Adapter("", {0xde, 0xad, 0xbe, 0xef, 0, 1}),
                                  Adapter("192.168.1.1", {2, 2, 2, 2, 2, 2})}),
            L"DE-AD-BE-EF-00-01");
}

TEST(AdapterChoice, NoQualifyingAdapterIsUnknown) {
  EXPECT_EQ(ChooseAdapterAddress({}), L"unkown");
  EXPECT_EQ(ChooseAdapterAddress({Adapter("0.0.0.0", {1, 2, 3, 4, 5, 6}), Adapter("0.0.0.0", {6, 5, 4, 3, 2, 1})}),
            L"unkown");
}

// A system call with a list of fixed-size records that answers "too small"
// with the size it needs, as the adapter list does. The list may change
// from one call to the next: `recordsPerCall` (the last count repeats).
struct FakeAdapterList {
  explicit FakeAdapterList(std::vector<uint32_t> records, uint32_t fail = 0)
      : recordsPerCall(std::move(records)), failWith(fail) {}
  std::vector<uint32_t> recordsPerCall;
  uint32_t failWith;
  uint32_t recordSize = 640;
  std::vector<uint32_t> sizesAsked;

  uint32_t operator()(void* buffer, uint32_t* size) {
    size_t call = sizesAsked.size();
    sizesAsked.push_back(*size);
    if (failWith) return failWith;
    uint32_t needed = recordsPerCall[std::min(call, recordsPerCall.size() - 1)] * recordSize;
    if (*size < needed) {
      *size = needed;
      return kBufferOverflowStatus;
    }
    std::memset(buffer, 0xAB, needed);
    return 0;
  }
};

TEST(AdapterList, MoreAdaptersThanTheFirstBufferHoldsAreFetchedWithTheReportedSize) {
  FakeAdapterList system({9});
  SizedCallResult r = CallWithReportedSize(5 * 640, std::ref(system));
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(system.sizesAsked, (std::vector<uint32_t>{3200, 5760}));
  ASSERT_EQ(r.buffer.size(), 5760u);
  EXPECT_EQ(r.buffer.back(), 0xAB);

  // Five or fewer fit the first buffer and need one call.
  FakeAdapterList few({5});
  EXPECT_EQ(CallWithReportedSize(3200, std::ref(few)).status, 0u);
  EXPECT_EQ(few.sizesAsked.size(), 1u);
}

TEST(AdapterList, AListThatGrowsBetweenCallsIsAskedForAgain) {
  FakeAdapterList system({6, 8});
  SizedCallResult r = CallWithReportedSize(3200, std::ref(system));
  EXPECT_EQ(r.status, 0u);
  EXPECT_EQ(system.sizesAsked, (std::vector<uint32_t>{3200, 3840, 5120}));
}

TEST(AdapterList, GivesUpOnAListThatNeverSettlesAndOnOtherErrors) {
  FakeAdapterList growing({6, 7, 8, 9, 10, 11, 12, 13});
  SizedCallResult r = CallWithReportedSize(3200, std::ref(growing));
  EXPECT_EQ(r.status, kBufferOverflowStatus);
  EXPECT_TRUE(r.buffer.empty());
  EXPECT_LE(growing.sizesAsked.size(), 6u);

  FakeAdapterList none({0}, 232);  // no adapters at all
  r = CallWithReportedSize(3200, std::ref(none));
  EXPECT_EQ(r.status, 232u);
  EXPECT_EQ(none.sizesAsked.size(), 1u);

  // "Too small" without a larger size would otherwise ask the same forever.
  uint32_t calls = 0;
  r = CallWithReportedSize(3200, [&calls](void*, uint32_t*) {
    ++calls;
    return kBufferOverflowStatus;
  });
  EXPECT_EQ(r.status, kBufferOverflowStatus);
  EXPECT_EQ(calls, 1u);
}

TEST(OsVersionLadder, NamesTheNewestRungTheSystemReaches) {
  using V = std::tuple<int, int, int>;
  struct Case {
    V system;
    const wchar_t* text;
  } cases[] = {
      {{10, 0, 0}, L"Windows10OrGreater"},    {{11, 2, 0}, L"Windows10OrGreater"},
      {{6, 3, 0}, L"Windows8Point1OrGreater"}, {{6, 2, 5}, L"Windows8OrGreater"},
      {{6, 1, 1}, L"Windows7SP1OrGreater"},    {{6, 1, 0}, L"Windows7OrGreater"},
      {{6, 0, 2}, L"VistaSP2OrGreater"},       {{6, 0, 1}, L"VistaSP1OrGreater"},
      {{6, 0, 0}, L"VistaOrGreater"},          {{5, 2, 2}, L"ElderThanVista"},
      {{5, 1, 3}, L"ElderThanVista"},
  };
  for (const Case& c : cases) {
    std::vector<V> asked;
    std::wstring text = OsVersionFromLadder([&](uint16_t major, uint16_t minor, uint16_t sp) {
      asked.emplace_back(major, minor, sp);
      return c.system >= V(major, minor, sp);
    });
    EXPECT_EQ(text, c.text) << std::get<0>(c.system) << "." << std::get<1>(c.system) << " sp"
                            << std::get<2>(c.system);
    // Newest first, and no test after the one that passed.
    for (size_t i = 1; i < asked.size(); ++i) EXPECT_LT(asked[i], asked[i - 1]);
    if (text != L"ElderThanVista") EXPECT_TRUE(c.system >= asked.back());
    else EXPECT_EQ(asked.size(), 8u);
  }
}

TEST(MachineTexts, VersionAndMemoryFormats) {
  EXPECT_EQ(FormatRtlVersion(10, 0, 19045), L"Version major:10 minor:0 build:19045");
  const uint64_t mb = 1ull << 20;
  // Whole megabytes, truncated; totals above 4 GB are not cut to 32 bits.
  EXPECT_EQ(FormatMemoryInfo(16384 * mb + mb - 1, 128ull * 1024 * 1024 * mb - 1),
            L"physical memory:16384 MB virtual memory:134217727 MB");
  EXPECT_EQ(FormatMemoryInfo(mb - 1, 0), L"physical memory:0 MB virtual memory:0 MB");
}

}  // namespace
}  // namespace tov
