// The client identifier: three serial numbers read over WMI, hashed.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <memory>

#include "base/com_ptr.h"
#include "telemetry/machine_probes.h"
#include "telemetry/machine_profile.h"
#include "telemetry/md5.h"
#include "telemetry/step_watch.h"

namespace {

// The longest the identifier waits for one answer of WMI. A machine whose
// WMI service is broken can leave a call waiting for good; start-up then
// goes on with the fallback identifier.
constexpr unsigned kWmiWaitMs = 5000;

// The SerialNumber of the last instance of the class the query selects
// (empty when there is none); false when the query itself fails or an
// answer does not come in time.
bool ReadSerialNumber(IWbemServices* services, const wchar_t* query, std::wstring* serial,
                      const tov::StepDone& step) {
  tov::ComPtr<IEnumWbemClassObject> results;
  tov::Bstr language(L"WQL");
  tov::Bstr text(query);
  if (FAILED(services->ExecQuery(language.get(), text.get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 results.put()))) {
    return false;
  }
  step();
  for (;;) {
    tov::ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    HRESULT hr = results->Next(static_cast<long>(kWmiWaitMs), 1, object.put(), &returned);
    step();
    if (hr == WBEM_S_TIMEDOUT) return false;
    if (returned == 0 || !object) break;
    tov::Variant value;
    if (SUCCEEDED(object->Get(L"SerialNumber", 0, value.get(), nullptr, nullptr)) &&
        V_VT(value.get()) == VT_BSTR && V_BSTR(value.get())) {
      *serial = V_BSTR(value.get());
    } else {
      serial->clear();
    }
  }
  return true;
}

// The identifier as the calling thread reads it, or the fallback.
std::wstring ReadClientUidHere(const tov::StepDone& step) {
  tov::ComScope com(COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED);
  if (!com.Ready()) return tov::kUnknownText;
  if (FAILED(::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr))) {
    return tov::kUnknownText;
  }
  tov::ComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.put_void()))) {
    return tov::kUnknownText;
  }
  step();
  tov::ComPtr<IWbemServices> services;
  tov::Bstr cimv2(L"ROOT\\CIMV2");
  if (FAILED(locator->ConnectServer(cimv2.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.put()))) {
    return tov::kUnknownText;
  }
  step();
  if (FAILED(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE))) {
    return tov::kUnknownText;
  }
  std::wstring board, bios, system;
  if (!ReadSerialNumber(services.get(), L"SELECT * FROM Win32_BaseBoard", &board, step) ||
      !ReadSerialNumber(services.get(), L"SELECT * FROM Win32_BIOS", &bios, step) ||
      !ReadSerialNumber(services.get(), L"SELECT * FROM Win32_OperatingSystem", &system, step)) {
    return tov::kUnknownText;
  }
  return Md5Hex(board + bios + system);
}

}  // namespace

void ReadClientUid(std::wstring& field) {
  field = tov::kUnknownText;
  // Read on a thread of its own, whose COM state it then also is; the
  // caller's stays as it was. A thread stuck in WMI is left behind with
  // what it holds.
  auto uid = std::make_shared<std::wstring>(tov::kUnknownText);
  if (tov::RunWithStepTimeout([uid](const tov::StepDone& step) { *uid = ReadClientUidHere(step); },
                              kWmiWaitMs)) {
    field = *uid;
  }
}
