#include "provisioning/package_integrity.h"

#include <gtest/gtest.h>

namespace tov {

namespace {

const std::wstring kHash = L"9A8E0d54924510c3c41fbaec21638f7e0244b0d196ec59526b1d8cc47fe3080c";
const std::wstring kSignature(128, L'f');
const std::string kKey = "04" + std::string(128, 'a');

RemoteConfigMap Config(const std::wstring& body) {
  RemoteConfigMap map;
  ParseConfigBody(body, map);
  return map;
}

}  // namespace

TEST(PackageIntegrity, HexValuesTakeEitherCaseAndOneTrailingCrOnly) {
  Sha256Digest digest{};
  ASSERT_TRUE(ParseSha256Hex(kHash, digest));
  EXPECT_EQ(digest[0], 0x9A);
  EXPECT_EQ(digest[1], 0x8E);
  EXPECT_EQ(digest[31], 0x0C);
  EXPECT_EQ(ToHex(digest.data(), digest.size()),
            "9a8e0d54924510c3c41fbaec21638f7e0244b0d196ec59526b1d8cc47fe3080c");
  EXPECT_TRUE(ParseSha256Hex(kHash + L"\r", digest));  // a CR LF configuration

  for (const std::wstring& bad :
       {std::wstring(), kHash.substr(1), kHash + L"0", kHash + L"\r\r", L" " + kHash.substr(1),
        kHash.substr(0, 63) + L"g", kHash.substr(0, 62) + L"\u0660\u0661",
        // base64 of a digest: what the grammar would cut at its "=" padding
        std::wstring(L"mo4NVJJFEMPEH7rsIWOPfgJEsNGW7FlSax2MxH/jCAw")}) {
    EXPECT_FALSE(ParseSha256Hex(bad, digest)) << std::string(bad.begin(), bad.end());
  }

  P256Signature signature{};
  EXPECT_TRUE(ParseSignatureHex(L"00" + std::wstring(126, L'F'), signature));
  EXPECT_EQ(signature[0], 0x00);
  EXPECT_EQ(signature[63], 0xFF);
  EXPECT_FALSE(ParseSignatureHex(kHash, signature));  // a digest is no signature
  EXPECT_FALSE(ParseSignatureHex(std::wstring(130, L'0'), signature));
}

TEST(PackageIntegrity, PublicKeyIsTheUncompressedPointOnly) {
  P256PublicKey key{};
  ASSERT_TRUE(ParsePublicKeyHex("04" + std::string(64, '1') + std::string(64, 'B'), key));
  EXPECT_EQ(key[0], 0x11);
  EXPECT_EQ(key[63], 0xBB);
  EXPECT_FALSE(ParsePublicKeyHex("", key));
  EXPECT_FALSE(ParsePublicKeyHex(std::string(128, '1'), key));        // no 04
  EXPECT_FALSE(ParsePublicKeyHex("02" + std::string(64, '1'), key));  // compressed
  EXPECT_FALSE(ParsePublicKeyHex("03" + std::string(128, '1'), key));
  EXPECT_FALSE(ParsePublicKeyHex(kKey + "\r", key));
}

TEST(PackageIntegrity, WithoutAKeyOnlyAPresentHashIsHeldToItsForm) {
  PackageExpectation none = ReadPackageExpectation(Config(L"ClientVersion=1\n"), "");
  EXPECT_EQ(none.fault, PackageCheck::Passed);
  EXPECT_FALSE(none.hashed);
  EXPECT_FALSE(none.signedBy);

  PackageExpectation hashed = ReadPackageExpectation(
      Config(L"ClientPackageSha256=" + kHash + L"\r\nClientPackageSignature=zz\r\n"), "");
  EXPECT_EQ(hashed.fault, PackageCheck::Passed);
  EXPECT_TRUE(hashed.hashed);
  EXPECT_FALSE(hashed.signedBy);  // nothing to verify a signature with

  for (const std::wstring& value : {std::wstring(), kHash.substr(2), std::wstring(L"abc")}) {
    PackageExpectation bad = ReadPackageExpectation(Config(L"ClientPackageSha256=" + value), "");
    EXPECT_EQ(bad.fault, PackageCheck::HashMalformed);
    EXPECT_FALSE(bad.hashed);
  }
  // The grammar cuts a value at its second "=".
  EXPECT_EQ(ReadPackageExpectation(Config(L"ClientPackageSha256=" + kHash + L"=x"), "").fault,
            PackageCheck::Passed);
  EXPECT_EQ(ReadPackageExpectation(Config(L"ClientPackageSha256=" + kHash.substr(0, 40) + L"=" +
                                          kHash.substr(41)),
                                   "")
                .fault,
            PackageCheck::HashMalformed);
}

TEST(PackageIntegrity, WithAKeyBothValuesAreRequiredInOrder) {
  struct Case {
    std::wstring body;
    PackageCheck fault;
  };
  const std::wstring hashLine = L"ClientPackageSha256=" + kHash + L"\n";
  const std::wstring signatureLine = L"ClientPackageSignature=" + kSignature + L"\n";
  for (const Case& c : std::initializer_list<Case>{
           {L"", PackageCheck::HashMissing},
           {signatureLine, PackageCheck::HashMissing},
           {L"ClientPackageSha256=xyz\n" + signatureLine, PackageCheck::HashMalformed},
           {hashLine, PackageCheck::SignatureMissing},
           {hashLine + L"ClientPackageSignature=\n", PackageCheck::SignatureMalformed},
           {hashLine + L"ClientPackageSignature=" + kSignature.substr(1) + L"\n",
            PackageCheck::SignatureMalformed},
           {L"clientpackagesha256=" + kHash + L"\n" + signatureLine, PackageCheck::HashMissing},
       }) {
    PackageExpectation e = ReadPackageExpectation(Config(c.body), kKey);
    EXPECT_EQ(e.fault, c.fault) << std::string(c.body.begin(), c.body.end());
    EXPECT_FALSE(e.signedBy);
    EXPECT_FALSE(PackageCheckText(e.fault).empty());
  }

  PackageExpectation good = ReadPackageExpectation(Config(hashLine + signatureLine), kKey);
  EXPECT_EQ(good.fault, PackageCheck::Passed);
  EXPECT_TRUE(good.hashed);
  EXPECT_TRUE(good.signedBy);
  EXPECT_EQ(good.signature[0], 0xFF);
  EXPECT_EQ(good.keys.at(0)[0], 0xAA);

  // A key that does not parse refuses every package; it never turns the
  // checks off.
  PackageExpectation broken = ReadPackageExpectation(Config(hashLine + signatureLine), "04abc");
  EXPECT_EQ(broken.fault, PackageCheck::KeyUnusable);
  EXPECT_FALSE(broken.signedBy);
}

TEST(PackageIntegrity, ASealedConfigurationBindsTheHashAndMayCapTheSize) {
  const std::wstring hashLine = L"ClientPackageSha256=" + kHash + L"\n";
  const std::string keys = kKey + ";04" + std::string(128, 'b');
  PackageExpectation e = ReadPackageExpectation(Config(hashLine + L"ClientPackageSize=12\r"), keys, true);
  EXPECT_TRUE(e.fault == PackageCheck::Passed && !e.signedBy && e.capped && e.maxSize == 12u);
  EXPECT_EQ(ReadPackageExpectation(Config(hashLine + L"ClientPackageSize=1e3"), keys, true).fault,
            PackageCheck::SizeMalformed);
  EXPECT_FALSE(ReadPackageExpectation(Config(hashLine + L"ClientPackageSize=1"), keys, false).capped);
  EXPECT_EQ(ReadPackageExpectation(Config(L"ClientPackageSignature=" + kSignature), keys, true).fault,
            PackageCheck::HashMissing);
  PackageExpectation both = ReadPackageExpectation(
      Config(hashLine + L"ClientPackageSignature=" + kSignature), keys, true);
  ASSERT_TRUE(both.signedBy) << "a signature that is there is still verified";
  EXPECT_EQ(both.keys.size(), 2u);
  EXPECT_EQ(ReadPackageExpectation(Config(hashLine + L"ClientPackageSignature=" + kSignature),
                                   kKey + ";", true).fault,
            PackageCheck::KeyUnusable);
}

TEST(PackageIntegrity, DigestComparison) {
  PackageExpectation e = ReadPackageExpectation(Config(L"ClientPackageSha256=" + kHash), "");
  Sha256Digest actual = e.sha256;
  EXPECT_EQ(CompareDigest(e, actual), PackageCheck::Passed);
  actual[31] ^= 1;
  EXPECT_EQ(CompareDigest(e, actual), PackageCheck::HashMismatch);
}

}  // namespace tov
