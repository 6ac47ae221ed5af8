#include "tools/twainsim/sim_config.h"

#include <cmath>
#include <cstring>

namespace twainsim {

TW_UINT32 Fix32Bits(double value) {
  const std::int32_t v = std::int32_t(std::floor(value * 65536.0 + 0.5));
  const TW_UINT16 whole = TW_UINT16(std::uint32_t(v) >> 16);
  const TW_UINT16 frac = TW_UINT16(std::uint32_t(v) & 0xffff);
  return TW_UINT32(whole) | (TW_UINT32(frac) << 16);
}

SimCapability OneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
  SimCapability c;
  c.cap = cap;
  c.conType = TWON_ONEVALUE;
  c.itemType = itemType;
  c.values = {value};
  return c;
}

SimCapability Enumeration(TW_UINT16 cap, TW_UINT16 itemType, std::vector<TW_UINT32> values,
                          TW_UINT32 currentIndex, TW_UINT32 defaultIndex) {
  SimCapability c;
  c.cap = cap;
  c.conType = TWON_ENUMERATION;
  c.itemType = itemType;
  c.values = std::move(values);
  c.currentIndex = currentIndex;
  c.defaultIndex = defaultIndex;
  return c;
}

SimCapability Range(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max,
                    TW_UINT32 step, TW_UINT32 defaultValue, TW_UINT32 currentValue) {
  SimCapability c;
  c.cap = cap;
  c.conType = TWON_RANGE;
  c.itemType = itemType;
  c.rangeMin = min;
  c.rangeMax = max;
  c.rangeStep = step;
  c.rangeDefault = defaultValue;
  c.rangeCurrent = currentValue;
  return c;
}

SimCapability ArrayOf(TW_UINT16 cap, TW_UINT16 itemType, std::vector<TW_UINT32> values) {
  SimCapability c;
  c.cap = cap;
  c.conType = TWON_ARRAY;
  c.itemType = itemType;
  c.values = std::move(values);
  return c;
}

namespace {

void AddResolution(std::vector<SimCapability> &caps, TW_UINT16 cap, const SimScannerModel &m) {
  switch (m.resolutionKind) {
  case SimValueKind::None:
    return;
  case SimValueKind::Single:
    caps.push_back(OneValue(cap, TWTY_FIX32,
                            Fix32Bits(m.resolutions.empty() ? m.resolutionDefault : m.resolutions[0])));
    return;
  case SimValueKind::List: {
    std::vector<TW_UINT32> items;
    TW_UINT32 current = 0;
    for (std::size_t i = 0; i < m.resolutions.size(); ++i) {
      items.push_back(Fix32Bits(m.resolutions[i]));
      if (m.resolutions[i] == m.resolutionDefault)
        current = TW_UINT32(i);
    }
    caps.push_back(Enumeration(cap, TWTY_FIX32, items, current, current));
    return;
  }
  case SimValueKind::Range:
    caps.push_back(Range(cap, TWTY_FIX32, Fix32Bits(m.resolutionMin), Fix32Bits(m.resolutionMax),
                         Fix32Bits(m.resolutionStep), Fix32Bits(m.resolutionDefault),
                         Fix32Bits(m.resolutionDefault)));
    return;
  }
}

SimCapability UInt16Enumeration(TW_UINT16 cap, const std::vector<TW_UINT16> &values,
                                TW_UINT16 current) {
  std::vector<TW_UINT32> items;
  TW_UINT32 index = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    items.push_back(values[i]);
    if (values[i] == current)
      index = TW_UINT32(i);
  }
  return Enumeration(cap, TWTY_UINT16, items, index, index);
}

} // namespace

std::vector<SimCapability> MakeCapabilities(const SimScannerModel &m) {
  std::vector<SimCapability> caps;
  caps.push_back(OneValue(CAP_UICONTROLLABLE, TWTY_BOOL, m.uiControllable ? 1 : 0));
  caps.push_back(UInt16Enumeration(ICAP_PIXELTYPE, m.pixelTypes, m.pixelTypeCurrent));
  caps.push_back(UInt16Enumeration(ICAP_UNITS, m.units, TWUN_INCHES));
  caps.push_back(OneValue(ICAP_XNATIVERESOLUTION, TWTY_FIX32, Fix32Bits(m.xNativeResolution)));
  caps.push_back(OneValue(ICAP_YNATIVERESOLUTION, TWTY_FIX32, Fix32Bits(m.yNativeResolution)));
  caps.push_back(OneValue(ICAP_PHYSICALWIDTH, TWTY_FIX32, Fix32Bits(m.physicalWidth)));
  caps.push_back(OneValue(ICAP_PHYSICALHEIGHT, TWTY_FIX32, Fix32Bits(m.physicalHeight)));
  AddResolution(caps, ICAP_XRESOLUTION, m);
  AddResolution(caps, ICAP_YRESOLUTION, m);
  if (m.brightnessKind == SimValueKind::Range) {
    caps.push_back(Range(ICAP_BRIGHTNESS, TWTY_FIX32, Fix32Bits(m.brightnessMin),
                         Fix32Bits(m.brightnessMax), Fix32Bits(m.brightnessStep),
                         Fix32Bits(m.brightnessValue), Fix32Bits(m.brightnessValue)));
  } else if (m.brightnessKind != SimValueKind::None) {
    caps.push_back(OneValue(ICAP_BRIGHTNESS, TWTY_FIX32, Fix32Bits(m.brightnessValue)));
  }
  if (m.acceptsContrast)
    caps.push_back(Range(ICAP_CONTRAST, TWTY_FIX32, Fix32Bits(-1000), Fix32Bits(1000), Fix32Bits(1),
                         0, 0));
  if (m.acceptsThreshold)
    caps.push_back(Range(ICAP_THRESHOLD, TWTY_FIX32, 0, Fix32Bits(255), Fix32Bits(1),
                         Fix32Bits(128), Fix32Bits(128)));
  return caps;
}

TW_IDENTITY MakeIdentity(const std::string &manufacturer, const std::string &family,
                         const std::string &product, const std::string &versionInfo) {
  TW_IDENTITY id = {};
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 0;
  id.Version.Language = TWLG_USA;
  id.Version.Country = TWCY_USA;
  std::strncpy(id.Version.Info, versionInfo.c_str(), sizeof id.Version.Info - 1);
  id.ProtocolMajor = 1;
  id.ProtocolMinor = 9;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strncpy(id.Manufacturer, manufacturer.c_str(), sizeof id.Manufacturer - 1);
  std::strncpy(id.ProductFamily, family.c_str(), sizeof id.ProductFamily - 1);
  std::strncpy(id.ProductName, product.c_str(), sizeof id.ProductName - 1);
  return id;
}

} // namespace twainsim
