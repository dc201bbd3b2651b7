#include "telemetry/md5.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>

#include "base/unique_handle.h"
#include "base/utf8.h"

namespace {

struct CryptProviderTraits {
  static HCRYPTPROV invalid() { return 0; }
  static bool valid(HCRYPTPROV h) { return h != 0; }
  static void close(HCRYPTPROV h) { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
  static HCRYPTHASH invalid() { return 0; }
  static bool valid(HCRYPTHASH h) { return h != 0; }
  static void close(HCRYPTHASH h) { ::CryptDestroyHash(h); }
};

}  // namespace

std::wstring Md5Hex(const std::wstring& text) {
  const std::string bytes = tov::WideToUtf8(text);

  // A verify-only context: hashing needs no key container, and none is ever
  // created in the player's profile.
  tov::UniqueHandle<HCRYPTPROV, CryptProviderTraits> provider;
  if (!::CryptAcquireContextW(provider.put(), nullptr, MS_DEF_PROV_W, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT)) {
    return L"";
  }
  tov::UniqueHandle<HCRYPTHASH, CryptHashTraits> hash;
  if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) return L"";
  if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()), 0)) {
    return L"";
  }
  BYTE digest[20] = {};
  DWORD length = sizeof digest;
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0)) return L"";

  std::wstring hex;
  for (DWORD i = 0; i + 4 <= length; i += 4) {
    wchar_t group[9];
    std::swprintf(group, 9, L"%02x%02x%02x%02x", digest[i], digest[i + 1], digest[i + 2],
                  digest[i + 3]);
    hex += group;
  }
  return hex;
}
