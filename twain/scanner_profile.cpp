#include "twain/scanner_profile.h"

#include <zlib.h>

#include <cstring>

#include "imaging/little_endian.h"

ScannerProfile::ScannerProfile() : ResolutionArray(1, 0.0f) {}

void ScannerProfile::SetResolutionList(const std::vector<float> &values) {
  ResolutionArray = values;
  ResolutionArray.push_back(0.0f);
  ResolutionCount = std::uint32_t(values.size());
}

void ScannerProfile::Reset() {
  *this = ScannerProfile();
  ResolutionArray.clear();
}

void ConvertIdentityText(const char (&field)[34], wchar_t (&out)[kIdentityTextUnits]) {
  std::memset(out, 0, sizeof out);
#ifdef _WIN32
  MultiByteToWideChar(CP_ACP, 0, field, int(sizeof field), out, int(kIdentityTextUnits));
#else
  // Builds without an ANSI code page settle on Latin-1.
  for (std::size_t i = 0; i < kIdentityTextUnits; ++i)
    out[i] = wchar_t(static_cast<unsigned char>(field[i]));
#endif
  bool ended = false;
  for (auto &unit : out) {
    if (unit == 0)
      ended = true;
    if (ended)
      unit = 0;
  }
}

namespace {

void PutText(std::uint8_t *at, const wchar_t (&text)[kIdentityTextUnits]) {
  for (std::size_t i = 0; i < kIdentityTextUnits; ++i) {
    const std::uint32_t unit = std::uint32_t(text[i]) & 0xFFFF;
    at[2 * i] = std::uint8_t(unit);
    at[2 * i + 1] = std::uint8_t(unit >> 8);
  }
}

} // namespace

std::array<std::uint8_t, kIdentityBlockSize> IdentityBlock(const ScannerProfile &profile) {
  std::array<std::uint8_t, kIdentityBlockSize> block{};
  WriteU32(&block[4], profile.VersionMajor);
  WriteU32(&block[8], profile.VersionMinor);
  PutText(&block[12], profile.VersionInfo);
  WriteU32(&block[80], profile.ProtocolMajor);
  WriteU32(&block[84], profile.ProtocolMinor);
  PutText(&block[88], profile.Manufacturer);
  PutText(&block[156], profile.ProductFamily);
  PutText(&block[224], profile.ProductName);
  return block;
}

std::uint32_t ComputeScannerId(const ScannerProfile &profile) {
  const auto block = IdentityBlock(profile);
  return std::uint32_t(crc32(crc32(0L, Z_NULL, 0), block.data(), uInt(block.size())));
}

void ProfileFromIdentity(const TW_IDENTITY &identity, ScannerProfile &profile) {
  profile.Reset();
  profile.VersionMajor = identity.Version.MajorNum;
  profile.VersionMinor = identity.Version.MinorNum;
  ConvertIdentityText(identity.Version.Info, profile.VersionInfo);
  profile.ProtocolMajor = identity.ProtocolMajor;
  profile.ProtocolMinor = identity.ProtocolMinor;
  ConvertIdentityText(identity.Manufacturer, profile.Manufacturer);
  ConvertIdentityText(identity.ProductFamily, profile.ProductFamily);
  ConvertIdentityText(identity.ProductName, profile.ProductName);
  profile.ScannerId = ComputeScannerId(profile);
}

std::uint32_t ScannerIdOf(const TW_IDENTITY &identity) {
  ScannerProfile profile;
  ProfileFromIdentity(identity, profile);
  return profile.ScannerId;
}
