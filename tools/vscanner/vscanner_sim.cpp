#include "tools/vscanner/vscanner_sim.h"

#include <memory>

#include "imaging/global_memory.h"

namespace vscanner {

namespace {

twainsim::SimValueKind KindOf(ValueForm form) {
  switch (form) {
  case ValueForm::List:
    return twainsim::SimValueKind::List;
  case ValueForm::Range:
    return twainsim::SimValueKind::Range;
  default:
    return twainsim::SimValueKind::Single;
  }
}

twainsim::SimScannerModel ModelOf(const SourceSetup &setup) {
  twainsim::SimScannerModel m;
  m.resolutionKind = KindOf(setup.resolutions.form);
  m.resolutions = setup.resolutions.values;
  m.resolutionMin = setup.resolutions.minValue;
  m.resolutionMax = setup.resolutions.maxValue;
  m.resolutionStep = setup.resolutions.step;
  m.resolutionDefault = setup.resolutions.defaultValue;
  m.pixelTypes.clear();
  for (int t : setup.pixelTypes)
    m.pixelTypes.push_back(TW_UINT16(t));
  m.pixelTypeCurrent = TW_UINT16(setup.pixelTypeDefault);
  m.units.clear();
  for (int u : setup.units)
    m.units.push_back(TW_UINT16(u));
  m.xNativeResolution = setup.xNativeResolution;
  m.yNativeResolution = setup.yNativeResolution;
  m.physicalWidth = setup.physicalWidth;
  m.physicalHeight = setup.physicalHeight;
  if (setup.brightness.form == ValueForm::Range) {
    m.brightnessKind = twainsim::SimValueKind::Range;
    m.brightnessMin = setup.brightness.minValue;
    m.brightnessMax = setup.brightness.maxValue;
    m.brightnessStep = setup.brightness.step;
  } else {
    m.brightnessKind = twainsim::SimValueKind::Single;
  }
  m.brightnessValue = setup.brightness.defaultValue;
  m.uiControllable = setup.uiControllable;
  return m;
}

TW_UINT16 EnableRc(EnableAnswer answer) {
  switch (answer) {
  case EnableAnswer::CheckStatus:
    return TWRC_CHECKSTATUS;
  case EnableAnswer::Failure:
    return TWRC_FAILURE;
  case EnableAnswer::Cancel:
    return TWRC_CANCEL;
  default:
    return TWRC_SUCCESS;
  }
}

// The sources are numbered by the DLL itself, so that an image request
// finds its INI source even when two sources share their identity texts.
constexpr TW_UINT32 kFirstSourceId = 1001;

const SourceSetup *SpecFor(const Config &config, const twainsim::SimSource *source) {
  if (!source || source->identity.Id < kFirstSourceId)
    return nullptr;
  const std::size_t index = source->identity.Id - kFirstSourceId;
  return index < config.sources.size() ? &config.sources[index] : nullptr;
}

// Larger picture files are refused rather than read.
constexpr std::uint32_t kMaxBmpBytes = 256u << 20;

bool IsAbsolute(const std::wstring &path) {
  return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

} // namespace

bool ReadWholeFile(const std::wstring &path, std::uint32_t maxBytes,
                   std::vector<std::uint8_t> &out) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart <= maxBytes;
  if (ok) {
    out.resize(std::size_t(size.QuadPart));
    DWORD read = 0;
    ok = out.empty() ||
         (ReadFile(file, out.data(), DWORD(out.size()), &read, nullptr) && read == out.size());
  }
  CloseHandle(file);
  return ok;
}

std::wstring WideFromUtf8(const std::string &text) {
  if (text.empty())
    return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  if (n <= 0)
    return std::wstring();
  std::wstring out(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], n);
  return out;
}

TW_IDENTITY IdentityOf(const SourceSetup &setup) {
  TW_IDENTITY id = twainsim::MakeIdentity(setup.manufacturer, setup.productFamily,
                                          setup.productName, setup.versionInfo);
  id.Version.MajorNum = setup.versionMajor;
  id.Version.MinorNum = setup.versionMinor;
  id.ProtocolMajor = setup.protocolMajor;
  id.ProtocolMinor = setup.protocolMinor;
  return id;
}

twainsim::SimSource ToSimSource(const SourceSetup &setup) {
  twainsim::SimSource source;
  source.identity = IdentityOf(setup);
  source.capabilities = twainsim::MakeCapabilities(ModelOf(setup));
  // The model starts in inches; a source whose INI names another unit
  // starts in that one.
  for (auto &cap : source.capabilities) {
    if (cap.cap != ICAP_UNITS)
      continue;
    for (std::size_t i = 0; i < cap.values.size(); ++i)
      if (cap.values[i] == TW_UINT32(setup.unitDefault))
        cap.currentIndex = cap.defaultIndex = TW_UINT32(i);
  }
  twainsim::SimBehaviour &b = source.behaviour;
  b.enableRc = EnableRc(setup.enableAnswer);
  if (setup.refuseOpen)
    b.openRc = TWRC_FAILURE;
  b.notifyDelayMs = setup.xferReadyDelayMs;
  b.bitmapImage = setup.bitmapImage;
  switch (setup.behaviour) {
  case Behaviour::CloseRequest:
    b.outcome = twainsim::SimOutcome::CloseRequest;
    break;
  case Behaviour::FailTransfer:
    b.nativeXferRc = TWRC_FAILURE;
    break;
  case Behaviour::CancelTransfer:
    b.nativeXferRc = TWRC_CANCEL;
    break;
  case Behaviour::TwoImages:
    b.imageCount = 2;
    break;
  default:
    break;
  }
  // The engine writes these faults into whatever the image provider made.
  b.zeroPelsPerMeter = setup.faults.zeroPelsPerMeter;
  b.zeroColourCount = setup.faults.zeroColourCount;
  b.zeroImageSize = setup.faults.zeroImageSize;
  b.reversedGreyPalette = setup.faults.reversedGreyPalette;
  return source;
}

twainsim::SimConfig ToSimConfig(const Config &config, const std::wstring &baseFolder) {
  twainsim::SimConfig sim;
  for (std::size_t i = 0; i < config.sources.size(); ++i) {
    sim.sources.push_back(ToSimSource(config.sources[i]));
    sim.sources.back().identity.Id = kFirstSourceId + TW_UINT32(i);
  }
  // -1: MSG_GETDEFAULT fails, as with no source installed.
  sim.defaultSource = config.sources.empty() ? -1 : int(config.defaultSource);
  auto shared = std::make_shared<Config>(config);
  sim.imageProvider = [shared, baseFolder](const twainsim::SimImageRequest &request) -> TW_HANDLE {
    const SourceSetup *setup = SpecFor(*shared, request.source);
    return setup ? MakeImage(request, *setup, baseFolder) : nullptr;
  };
  return sim;
}

bool ToImageRequest(const twainsim::SimImageRequest &request, ImageRequest &out) {
  if (request.pixelType > TWPT_RGB)
    return false;
  out = ImageRequest();
  out.left = request.left;
  out.top = request.top;
  out.right = request.right;
  out.bottom = request.bottom;
  out.xResolution = request.xResolution;
  out.yResolution = request.yResolution;
  out.pixelType = request.pixelType;
  out.brightness = request.brightness;
  out.threshold = request.threshold;
  return true;
}

HGLOBAL MakeImage(const twainsim::SimImageRequest &request, const SourceSetup &setup,
                  const std::wstring &baseFolder) {
  ImageRequest image;
  DibLayout layout;
  if (!ToImageRequest(request, image) || !PlanDib(image, layout))
    return nullptr;
  RgbPicture picture;
  if (!setup.imagePath.empty()) {
    std::wstring path = WideFromUtf8(setup.imagePath);
    if (!IsAbsolute(path) && !baseFolder.empty())
      path = baseFolder + L"\\" + path;
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, kMaxBmpBytes, bytes) ||
        !DecodeBmp(bytes.data(), bytes.size(), picture))
      return nullptr;
  }
  GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, layout.totalBytes));
  {
    GlobalLockGuard lock(block.get());
    if (!lock || lock.size() < layout.totalBytes ||
        !RenderDib(image, layout, setup.imagePath.empty() ? nullptr : &picture, lock.bytes(),
                   layout.totalBytes))
      return nullptr;
  }
  return block.release();
}

} // namespace vscanner
