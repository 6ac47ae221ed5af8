// The copier's picture of one scanner: its TWAIN identity, the CRC-32
// identifier computed from it, and the capabilities read from the source.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "twain/twain.h"

constexpr std::size_t kIdentityTextUnits = 34;
constexpr std::size_t kIdentityBlockSize = 292;

class ScannerProfile {
public:
  ScannerProfile();

  std::uint32_t ScannerId = 0;
  std::uint32_t VersionMajor = 0;
  std::uint32_t VersionMinor = 0;
  wchar_t VersionInfo[kIdentityTextUnits] = {};
  std::uint32_t ProtocolMajor = 0;
  std::uint32_t ProtocolMinor = 0;
  wchar_t Manufacturer[kIdentityTextUnits] = {};
  wchar_t ProductFamily[kIdentityTextUnits] = {};
  wchar_t ProductName[kIdentityTextUnits] = {};
  bool ControllableUI = false;
  bool PixelTypes[9] = {};
  bool Units[6] = {};
  float XNativeResolution = 0;
  float YNativeResolution = 0;
  float PhysicalWidth = 0;
  float PhysicalHeight = 0;
  bool bResolutionArray = false;
  bool bResolutionRange = false;
  float ResolutionDefault = 0;
  std::uint32_t ResolutionCount = 0;
  // ResolutionCount entries followed by a 0.0 terminator; empty (no list at
  // all) after a reset from an identity. Copies are deep by construction.
  std::vector<float> ResolutionArray;
  float ResolutionMin = 0;
  float ResolutionMax = 0;
  float ResolutionStep = 0;

  // Entry i of the list, or 0.0 past its end: a safe read whatever
  // ResolutionCount claims.
  float ResolutionAt(std::size_t i) const {
    return i < ResolutionArray.size() ? ResolutionArray[i] : 0.0f;
  }
  // Replaces the list with these values and the terminator.
  void SetResolutionList(const std::vector<float> &values);
  // Clears every field, including the list, as a reset from an identity does.
  void Reset();
};

// Converts one TW_STR32 field: all 34 bytes through the system ANSI code page,
// then every unit from the first NUL on set to 0. A field without NUL keeps
// all 34 units and has no terminator.
void ConvertIdentityText(const char (&field)[34], wchar_t (&out)[kIdentityTextUnits]);

// The 292-byte block the ScannerId is computed over (little-endian integers,
// UTF-16LE texts, the ScannerId place itself zero).
std::array<std::uint8_t, kIdentityBlockSize> IdentityBlock(const ScannerProfile &profile);

// zlib crc32 of the identity block, starting from 0.
std::uint32_t ComputeScannerId(const ScannerProfile &profile);

// Resets the profile, fills its identity fields from the TW_IDENTITY and
// computes its ScannerId.
void ProfileFromIdentity(const TW_IDENTITY &identity, ScannerProfile &profile);

// The ScannerId of an identity, without keeping the profile it comes from.
std::uint32_t ScannerIdOf(const TW_IDENTITY &identity);
