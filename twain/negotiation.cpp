// Telling the open source the scan settings, and reading the capability
// containers it returns. Containers the program sends are its own and freed
// right after the call; containers a source returns are the program's to free.
#include "imaging/global_memory.h"
#include "twain/capability.h"
#include "twain/scanner_session.h"

bool ScannerSession::ReadSourceContainer(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16 conType,
                                         const ContainerReader &read) {
  TW_CAPABILITY capability{cap, conType, nullptr};
  const bool ok = CallSource(DG_CONTROL, DAT_CAPABILITY, msg, &capability);
  // A failed call hands over nothing usable, but a container that came
  // back anyway is still the program's to free.
  GlobalBlock owned(capability.hContainer);
  if (!ok || owned.get() == nullptr)
    return false;
  GlobalLockGuard lock(owned.get());
  if (!lock)
    return false;
  read(capability.ConType, lock.bytes(), lock.size());
  return true;
}

bool ScannerSession::SetCapOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item) {
  if (state != StateSourceOpen)
    return false;
  GlobalBlock container(GlobalAlloc(GHND, sizeof(TW_ONEVALUE)));
  if (container.get() == nullptr)
    return false;
  {
    GlobalLockGuard lock(container.get());
    if (!lock)
      return false;
    auto *value = static_cast<TW_ONEVALUE *>(lock.data());
    value->ItemType = itemType;
    value->Item = item;
  }
  TW_CAPABILITY capability;
  capability.Cap = cap;
  capability.ConType = TWON_ONEVALUE;
  capability.hContainer = container.get();
  return CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
}

bool ScannerSession::SetPixelType(TW_UINT16 pixelType) {
  return SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, pixelType);
}

bool ScannerSession::SetXResolution(std::int32_t dpi) {
  return SetCapOneValue(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(IntToFix32(dpi)));
}

bool ScannerSession::SetYResolution(std::int32_t dpi) {
  return SetCapOneValue(ICAP_YRESOLUTION, TWTY_FIX32, Fix32Bits(IntToFix32(dpi)));
}

bool ScannerSession::SetResolution(std::int32_t dpi) {
  return SetXResolution(dpi) && SetYResolution(dpi);
}

bool ScannerSession::SetContrast(std::int32_t contrast) {
  return SetCapOneValue(ICAP_CONTRAST, TWTY_FIX32, Fix32Bits(IntToFix32(contrast)));
}

std::int32_t ScannerSession::MapBrightness(std::int32_t brightness) {
  if (state != StateSourceOpen)
    return brightness;
  std::int32_t mapped = brightness;
  ReadSourceContainer(MSG_GET, ICAP_BRIGHTNESS, TWON_DONTCARE16,
                      [&](TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size) {
                        mapped = MapBrightnessFromContainer(conType, bytes, size, brightness);
                      });
  return mapped;
}

bool ScannerSession::SetBrightness(std::int32_t pixelType, std::int32_t brightness) {
  brightness = ClampBrightness(brightness);
  if (pixelType == TWPT_BW &&
      SetCapOneValue(ICAP_THRESHOLD, TWTY_FIX32,
                     Fix32Bits(IntToFix32(ThresholdFromBrightness(brightness)))))
    return true;
  return SetCapOneValue(ICAP_BRIGHTNESS, TWTY_FIX32,
                        Fix32Bits(IntToFix32(MapBrightness(brightness))));
}

bool ScannerSession::SetImageLayout(const ScanFrame &frame) {
  return SetImageLayout(frame.left, frame.top, frame.right, frame.bottom);
}

bool ScannerSession::SetImageLayout(std::int32_t left, std::int32_t top, std::int32_t right,
                                    std::int32_t bottom) {
  TW_IMAGELAYOUT layout = {};
  if (state != StateSourceOpen)
    return false;
  layout.Frame.Left = HundredthsMmToFix32(left);
  layout.Frame.Top = HundredthsMmToFix32(top);
  layout.Frame.Right = HundredthsMmToFix32(right);
  layout.Frame.Bottom = HundredthsMmToFix32(bottom);
  layout.DocumentNumber = TWON_DONTCARE32;
  layout.PageNumber = TWON_DONTCARE32;
  layout.FrameNumber = TWON_DONTCARE32;
  return CallSource(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
}

bool ScannerSession::GetCapCurrent(TW_UINT16 cap, TW_UINT16 itemType, void *out) {
  if (TwainItemSize(itemType) == 0 || out == nullptr)
    return false;
  if (state < StateSourceOpen)
    return false;
  bool read = false;
  ReadSourceContainer(MSG_GETCURRENT, cap, TWON_ONEVALUE,
                      [&](TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size) {
                        read = ReadCurrentValue(conType, bytes, size, itemType, out);
                      });
  return read;
}
