#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "twain/scanner_profile.h"

namespace {

TW_IDENTITY MakeIdentity(const char *info, const char *maker, const char *family,
                         const char *product) {
  TW_IDENTITY id{};
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 0;
  std::strncpy(id.Version.Info, info, sizeof id.Version.Info);
  id.ProtocolMajor = 1;
  id.ProtocolMinor = 9;
  std::strncpy(id.Manufacturer, maker, sizeof id.Manufacturer);
  std::strncpy(id.ProductFamily, family, sizeof id.ProductFamily);
  std::strncpy(id.ProductName, product, sizeof id.ProductName);
  return id;
}

std::wstring Text(const wchar_t (&units)[kIdentityTextUnits]) {
  return std::wstring(units, kIdentityTextUnits);
}

} // namespace

TEST(ScannerId, KnownIdentityGivesKnownId) {
  TW_IDENTITY id = MakeIdentity("1.0", "Acme", "Scan", "Acme Scan 1");
  ScannerProfile profile;
  ProfileFromIdentity(id, profile);
  EXPECT_EQ(0x06BD3DDCu, profile.ScannerId);
  EXPECT_EQ(1u, profile.VersionMajor);
  EXPECT_EQ(9u, profile.ProtocolMinor);
  EXPECT_STREQ(L"Acme Scan 1", profile.ProductName);
}

TEST(ScannerId, FieldsOutsideTheBlockDoNotCount) {
  TW_IDENTITY a = MakeIdentity("1.0", "Acme", "Scan", "Acme Scan 1");
  TW_IDENTITY b = a;
  b.Id = 77;
  b.Version.Language = 4;
  b.Version.Country = 49;
  b.SupportedGroups = 0x40000003;
  ScannerProfile pa, pb;
  ProfileFromIdentity(a, pa);
  ProfileFromIdentity(b, pb);
  EXPECT_EQ(pa.ScannerId, pb.ScannerId);
}

TEST(ScannerId, EveryBlockFieldChangesTheId) {
  const TW_IDENTITY base = MakeIdentity("1.0", "Acme", "Scan", "Acme Scan 1");
  ScannerProfile reference;
  ProfileFromIdentity(base, reference);
  TW_IDENTITY variants[6] = {base, base, base, base, base, base};
  variants[0].Version.MajorNum = 2;
  variants[1].Version.MinorNum = 1;
  variants[2].Version.Info[3] = 'x';
  variants[3].ProtocolMajor = 2;
  variants[4].Manufacturer[0] = 'B';
  variants[5].ProductName[10] = '2';
  for (const TW_IDENTITY &v : variants) {
    ScannerProfile p;
    ProfileFromIdentity(v, p);
    EXPECT_NE(reference.ScannerId, p.ScannerId);
  }
}

TEST(ScannerId, BlockLayoutByteForByte) {
  ScannerProfile p;
  ProfileFromIdentity(MakeIdentity("1.0", "Acme", "Scan", "Acme Scan 1"), p);
  p.ScannerId = 0xFFFFFFFF; // its own place is hashed as zero
  p.VersionMajor = 0x04030201;
  const auto block = IdentityBlock(p);
  ASSERT_EQ(292u, block.size());
  const std::uint8_t head[] = {0, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0, '1', 0, '.', 0, '0', 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(block.data(), head, sizeof head));
  EXPECT_EQ(1, block[80]);
  EXPECT_EQ(9, block[84]);
  EXPECT_EQ('A', block[88]);
  EXPECT_EQ(0, block[89]);
  EXPECT_EQ('S', block[156]);
  EXPECT_EQ('A', block[224]);
  EXPECT_EQ('1', block[224 + 2 * 10]);
  EXPECT_EQ(0, block[291]);
}

TEST(ScannerId, FullWidthTextKeepsAll34Units) {
  TW_IDENTITY id = MakeIdentity("1.0", "Acme", "Scan", "");
  std::memset(id.ProductName, 'Z', sizeof id.ProductName); // no NUL at all
  ScannerProfile full;
  ProfileFromIdentity(id, full);
  EXPECT_EQ(std::wstring(34, L'Z'), Text(full.ProductName));
  const auto block = IdentityBlock(full);
  EXPECT_EQ('Z', block[224 + 2 * 33]);

  // Bytes after the first NUL are ignored, but not before it.
  TW_IDENTITY early = MakeIdentity("1.0", "Acme", "Scan", "Acme");
  std::memset(early.ProductName + 5, 'Q', sizeof early.ProductName - 5);
  ScannerProfile p1, p2;
  ProfileFromIdentity(early, p1);
  ProfileFromIdentity(MakeIdentity("1.0", "Acme", "Scan", "Acme"), p2);
  EXPECT_EQ(p2.ScannerId, p1.ScannerId);
  EXPECT_EQ(std::wstring(L"Acme") + std::wstring(30, L'\0'), Text(p1.ProductName));
}

TEST(ScannerProfileValue, DefaultAndResetLists) {
  ScannerProfile fresh;
  EXPECT_EQ(0u, fresh.ResolutionCount);
  ASSERT_EQ(1u, fresh.ResolutionArray.size());
  EXPECT_EQ(0.0f, fresh.ResolutionArray[0]);

  fresh.SetResolutionList({100, 200});
  fresh.bResolutionArray = true;
  fresh.ControllableUI = true;
  ProfileFromIdentity(MakeIdentity("1.0", "Acme", "Scan", "Acme Scan 1"), fresh);
  EXPECT_EQ(0u, fresh.ResolutionCount);
  EXPECT_TRUE(fresh.ResolutionArray.empty());
  EXPECT_FALSE(fresh.bResolutionArray);
  EXPECT_FALSE(fresh.ControllableUI);
  EXPECT_EQ(0.0f, fresh.ResolutionAt(0));
}

TEST(ScannerProfileValue, CopiesOwnTheirList) {
  auto *original = new ScannerProfile;
  original->SetResolutionList({75, 150, 300});
  original->ProductName[0] = L'X';
  ScannerProfile copy(*original);
  ScannerProfile assigned;
  assigned.SetResolutionList({1});
  assigned = *original;
  delete original;
  for (const ScannerProfile *p : {&copy, &assigned}) {
    EXPECT_EQ(3u, p->ResolutionCount);
    ASSERT_EQ(4u, p->ResolutionArray.size());
    EXPECT_EQ(300.0f, p->ResolutionArray[2]);
    EXPECT_EQ(0.0f, p->ResolutionArray[3]);
    EXPECT_EQ(L'X', p->ProductName[0]);
  }
  ScannerProfile &self = copy;
  copy = self;
  EXPECT_EQ(3u, copy.ResolutionCount);
  EXPECT_EQ(150.0f, copy.ResolutionAt(1));
  EXPECT_EQ(0.0f, copy.ResolutionAt(99));
}
