// Filling a ScannerProfile from the manager's list and the opened source,
// and the per-process cache that keeps each scanner's source from being
// opened more than once.
#include "twain/profile_cache.h"

#include <windows.h>

#include <cstdlib>
#include <map>
#include <optional>

#include "common/unique_handle.h"
#include "twain/capability.h"
#include "twain/scanner_session.h"

namespace {

struct ScannerProfileCache {
  CRITICAL_SECTION lock;
  std::map<std::uint32_t, ScannerProfile> profiles;
};

ScannerProfileCache *g_cache = nullptr;

void DestroyProfileCache() {
  if (g_cache == nullptr)
    return;
  DeleteCriticalSection(&g_cache->lock);
  delete g_cache;
  g_cache = nullptr;
}

ScannerProfileCache &ProfileCache() {
  if (g_cache == nullptr) {
    g_cache = new ScannerProfileCache;
    InitializeCriticalSection(&g_cache->lock);
    std::atexit(DestroyProfileCache);
  }
  return *g_cache;
}

// Puts a value back when the scope ends, whichever way it ends.
class [[nodiscard]] RestoreScannerId {
public:
  explicit RestoreScannerId(std::uint32_t &field) : field_(field), saved_(field) {}
  ~RestoreScannerId() { field_ = saved_; }
  RestoreScannerId(const RestoreScannerId &) = delete;
  RestoreScannerId &operator=(const RestoreScannerId &) = delete;

private:
  std::uint32_t &field_;
  std::uint32_t saved_;
};

} // namespace

bool FindCachedProfile(std::uint32_t scannerId, ScannerProfile &profile) {
  ScannerProfileCache &cache = ProfileCache();
  const CriticalSectionLock lock = EnterCriticalSectionLock(&cache.lock);
  const auto found = cache.profiles.find(scannerId);
  if (found == cache.profiles.end())
    return false;
  profile = found->second;
  return true;
}

void StoreCachedProfile(const ScannerProfile &profile) {
  ScannerProfileCache &cache = ProfileCache();
  const CriticalSectionLock lock = EnterCriticalSectionLock(&cache.lock);
  cache.profiles.emplace(profile.ScannerId, profile);
}

bool ScannerSession::GetScannerProfile(std::uint32_t wantedId, ScannerProfile &profile) {
  if (!IsAvailable())
    return false;
  const ReentryGuard::Operation operation = reentry_.BeginOperation();
  if (!operation)
    return false;
  // Nothing can be asked of a source above state 4: a session its caller
  // left there starts again from rest.
  if (state > StateSourceOpen)
    ReturnToRest();
  const std::uint32_t id = wantedId != 0 ? wantedId : scannerId;
  const SessionState entry = state;
  // Opened here, closed here, whatever the manager and the source answer.
  std::optional<RestAtEnd> rest;
  if (entry < StateManagerOpen)
    rest.emplace(*this);
  bool result = false;
  if (entry < StateManagerOpen)
    OpenManager();
  if (state >= StateManagerOpen) {
    TW_IDENTITY identity{};
    if (id != 0) {
      // Each listed identity is profiled, so a miss leaves the last one.
      result = FindListedSource(
          [&](const TW_IDENTITY &listed) {
            ProfileFromIdentity(listed, profile);
            return profile.ScannerId == id;
          },
          identity);
      if (result)
        LookupScannerProfile(profile);
    } else if (CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &identity)) {
      ProfileFromIdentity(identity, profile);
      LookupScannerProfile(profile);
      result = true;
    }
  }
  return result;
}

void ScannerSession::LookupScannerProfile(ScannerProfile &profile) {
  // OpenSource opens whatever scannerId names; point it at this scanner for
  // the length of the call.
  const RestoreScannerId restore(scannerId);
  scannerId = profile.ScannerId;
  if (FindCachedProfile(profile.ScannerId, profile))
    return;
  if (IsUnqueriedScanner(profile.ScannerId)) {
    profile.ControllableUI = false;
    return;
  }
  const SessionState entry = state;
  // A source is asked only while it is open and not enabled; a profile is
  // kept for the process only when it was read so, never an empty one left
  // by a source that could not be asked.
  if (state == StateSourceOpen || (state < StateSourceOpen && OpenSource())) {
    QueryControllableUI(profile);
    QueryPixelTypes(profile);
    QueryUnits(profile);
    QueryNativeResolutionAndSize(profile);
    QueryResolution(profile);
    CloseSource();
    StoreCachedProfile(profile);
  }
  // Called without the manager open, leave it closed again.
  if (entry < StateManagerOpen && state >= StateManagerOpen)
    CloseManager();
}

void ScannerSession::QueryControllableUI(ScannerProfile &profile) {
  profile.ControllableUI = false;
  if (state != StateSourceOpen)
    return;
  std::uint32_t value = 0;
  if (GetCapCurrent(CAP_UICONTROLLABLE, TWTY_BOOL, &value))
    profile.ControllableUI = (value & 0xFFFF) != 0;
}

void ScannerSession::QueryPixelTypes(ScannerProfile &profile) {
  for (bool &flag : profile.PixelTypes)
    flag = false;
  if (state != StateSourceOpen)
    return;
  ReadSourceContainer(MSG_GET, ICAP_PIXELTYPE, TWON_DONTCARE16,
                      [&](TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size) {
                        ReadFlagContainer(conType, bytes, size, profile.PixelTypes, 9);
                      });
}

void ScannerSession::QueryUnits(ScannerProfile &profile) {
  for (bool &flag : profile.Units)
    flag = false;
  if (state != StateSourceOpen)
    return;
  ReadSourceContainer(MSG_GET, ICAP_UNITS, TWON_DONTCARE16,
                      [&](TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size) {
                        ReadFlagContainer(conType, bytes, size, profile.Units, 6);
                      });
}

void ScannerSession::QueryNativeResolutionAndSize(ScannerProfile &profile) {
  profile.XNativeResolution = 0;
  profile.YNativeResolution = 0;
  if (state != StateSourceOpen)
    return;
  const struct {
    TW_UINT16 cap;
    float *field;
  } reads[] = {
      {ICAP_XNATIVERESOLUTION, &profile.XNativeResolution},
      {ICAP_YNATIVERESOLUTION, &profile.YNativeResolution},
      {ICAP_PHYSICALWIDTH, &profile.PhysicalWidth},
      {ICAP_PHYSICALHEIGHT, &profile.PhysicalHeight},
  };
  for (const auto &read : reads) {
    TW_FIX32 value = FloatToFix32(0.0f);
    if (GetCapCurrent(read.cap, TWTY_FIX32, &value))
      *read.field = float(Fix32ToFloat(value));
  }
}

void ScannerSession::QueryResolution(ScannerProfile &profile) {
  profile.bResolutionArray = false;
  profile.bResolutionRange = false;
  if (state != StateSourceOpen)
    return;
  ReadSourceContainer(MSG_GET, ICAP_XRESOLUTION, TWON_DONTCARE16,
                      [&](TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size) {
                        ReadResolutionContainer(conType, bytes, size, profile);
                      });
}
