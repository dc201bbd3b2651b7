// The client identifier: three serial numbers read over WMI, hashed.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include "base/com_ptr.h"
#include "telemetry/machine_probes.h"
#include "telemetry/machine_profile.h"
#include "telemetry/md5.h"

namespace {

// The SerialNumber of the last instance of the class the query selects
// (empty when there is none); false when the query itself fails.
bool ReadSerialNumber(IWbemServices* services, const wchar_t* query, std::wstring* serial) {
  tov::ComPtr<IEnumWbemClassObject> results;
  tov::Bstr language(L"WQL");
  tov::Bstr text(query);
  if (FAILED(services->ExecQuery(language.get(), text.get(),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                 results.put()))) {
    return false;
  }
  for (;;) {
    tov::ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    results->Next(WBEM_INFINITE, 1, object.put(), &returned);
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

}  // namespace

void ReadClientUid(std::wstring& field) {
  field = tov::kUnknownText;
  tov::ComScope com(COINIT_MULTITHREADED, COINIT_APARTMENTTHREADED);
  if (!com.Ready()) return;
  if (FAILED(::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr))) {
    return;
  }
  tov::ComPtr<IWbemLocator> locator;
  if (FAILED(::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.put_void()))) {
    return;
  }
  tov::ComPtr<IWbemServices> services;
  tov::Bstr cimv2(L"ROOT\\CIMV2");
  if (FAILED(locator->ConnectServer(cimv2.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                    services.put()))) {
    return;
  }
  if (FAILED(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                 RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                 EOAC_NONE))) {
    return;
  }
  std::wstring board, bios, system;
  if (!ReadSerialNumber(services.get(), L"SELECT * FROM Win32_BaseBoard", &board) ||
      !ReadSerialNumber(services.get(), L"SELECT * FROM Win32_BIOS", &bios) ||
      !ReadSerialNumber(services.get(), L"SELECT * FROM Win32_OperatingSystem", &system)) {
    return;
  }
  field = Md5Hex(board + bios + system);
}
