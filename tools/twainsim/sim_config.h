// What the simulated TWAIN source manager and its sources answer: a plain
// description that a test fills in code and the virtual scanner fills from
// its INI file. The engine (sim_engine.h) reads it; it holds no handles.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "twain/twain.h"

namespace twainsim {

// Any capability (for rules that do not look at one).
constexpr TW_UINT16 kAnyCap = 0xffff;

// One capability as the source answers MSG_GET and MSG_GETCURRENT.
// Item values are kept as the 32 bits the container holds for an item of up
// to 4 bytes: a TW_FIX32 is Whole in the low and Frac in the high half
// (Fix32Bits below); smaller items use the low bytes.
struct SimCapability {
  TW_UINT16 cap = 0;
  TW_UINT16 conType = TWON_ONEVALUE; // TWON_ONEVALUE, TWON_ENUMERATION, TWON_RANGE, TWON_ARRAY
  TW_UINT16 itemType = TWTY_UINT16;
  // TWON_ONEVALUE: values[0]. TWON_ENUMERATION and TWON_ARRAY: the items.
  std::vector<TW_UINT32> values;
  TW_UINT32 currentIndex = 0; // TWON_ENUMERATION
  TW_UINT32 defaultIndex = 0; // TWON_ENUMERATION
  // TWON_RANGE
  TW_UINT32 rangeMin = 0;
  TW_UINT32 rangeMax = 0;
  TW_UINT32 rangeStep = 0;
  TW_UINT32 rangeDefault = 0;
  TW_UINT32 rangeCurrent = 0;
  // MSG_GETCURRENT answers a TW_ONEVALUE of the current value, as the
  // standard asks; false answers the same container as MSG_GET (some
  // drivers do that).
  bool currentAsOneValue = true;
  // Hostile or odd sources: when not empty, MSG_GET and MSG_GETCURRENT
  // return exactly these bytes with ConType rawConType, whatever they claim.
  std::vector<std::uint8_t> rawContainer;
  TW_UINT16 rawConType = TWON_ONEVALUE;
  // The answer to MSG_GET / MSG_GETCURRENT; TWRC_FAILURE makes the
  // capability look unsupported. An answer other than success may still
  // carry a container when failureWithContainer is set (a faulty driver).
  TW_UINT16 getRc = TWRC_SUCCESS;
  bool failureWithContainer = false;
  // The answer to MSG_SET: TWRC_SUCCESS takes the value as current,
  // TWRC_CHECKSTATUS keeps the source's own value, TWRC_FAILURE refuses.
  TW_UINT16 setRc = TWRC_SUCCESS;
};

// Builders for the common containers.
TW_UINT32 Fix32Bits(double value);
SimCapability OneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
SimCapability Enumeration(TW_UINT16 cap, TW_UINT16 itemType, std::vector<TW_UINT32> values,
                          TW_UINT32 currentIndex, TW_UINT32 defaultIndex);
SimCapability Range(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 min, TW_UINT32 max,
                    TW_UINT32 step, TW_UINT32 defaultValue, TW_UINT32 currentValue);
SimCapability ArrayOf(TW_UINT16 cap, TW_UINT16 itemType, std::vector<TW_UINT32> values);

// A scanner described the way a user reads its data sheet; MakeCapabilities
// turns it into the capability list a source answers with.
enum class SimValueKind { None, Single, List, Range };

struct SimScannerModel {
  SimValueKind resolutionKind = SimValueKind::List; // ICAP_XRESOLUTION / ICAP_YRESOLUTION
  std::vector<double> resolutions = {75, 150, 300, 600}; // Single: [0]; List: all
  double resolutionMin = 50, resolutionMax = 1200, resolutionStep = 1; // Range
  double resolutionDefault = 300; // also the current value at start
  std::vector<TW_UINT16> pixelTypes = {TWPT_BW, TWPT_GRAY, TWPT_RGB};
  TW_UINT16 pixelTypeCurrent = TWPT_BW;
  std::vector<TW_UINT16> units = {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS};
  double xNativeResolution = 600;
  double yNativeResolution = 600;
  double physicalWidth = 8.5; // inches
  double physicalHeight = 11.69;
  SimValueKind brightnessKind = SimValueKind::Range; // Single or Range
  double brightnessMin = -1000, brightnessMax = 1000, brightnessStep = 1;
  double brightnessValue = 0; // Single: the value; Range: the current value
  bool uiControllable = true;
  bool acceptsThreshold = true; // ICAP_THRESHOLD (0..255)
  bool acceptsContrast = true;  // ICAP_CONTRAST (-1000..1000)
};

std::vector<SimCapability> MakeCapabilities(const SimScannerModel &model);

// What a source does once it is enabled.
enum class SimOutcome {
  Deliver,      // raises MSG_XFERREADY, then hands out images
  CloseRequest, // raises MSG_CLOSEDSREQ: the user closed or cancelled its dialog
  Silent,       // raises nothing
};

struct SimBehaviour {
  TW_UINT16 openRc = TWRC_SUCCESS;   // MSG_OPENDS
  TW_UINT16 enableRc = TWRC_SUCCESS; // MSG_ENABLEDS: also TWRC_CHECKSTATUS, TWRC_FAILURE, TWRC_CANCEL
  SimOutcome outcome = SimOutcome::Deliver;
  // Milliseconds between MSG_ENABLEDS and the notification; 0 posts it at
  // once, more arms a timer on the parent window.
  unsigned notifyDelayMs = 0;
  // Images the source has for one enable; MSG_ENDXFER counts them down.
  TW_UINT16 imageCount = 1;
  // MSG_ENDXFER reports 0xFFFF instead of the number while images remain.
  bool countUnknown = false;
  // The answers of the successive MSG_ENDXFER calls, overriding the count
  // above when not empty (the last entry repeats).
  std::vector<TW_UINT16> endXferCounts;
  // DAT_IMAGENATIVEXFER: TWRC_XFERDONE delivers, TWRC_CANCEL and
  // TWRC_FAILURE deliver nothing.
  TW_UINT16 nativeXferRc = TWRC_XFERDONE;
  TW_UINT16 imageLayoutSetRc = TWRC_SUCCESS; // DAT_IMAGELAYOUT MSG_SET
  // Faults in the delivered bitmap and image information.
  bool zeroPelsPerMeter = false;     // biXPelsPerMeter and biYPelsPerMeter 0
  bool zeroColourCount = false;      // biClrUsed 0
  bool zeroImageSize = false;        // biSizeImage 0
  bool reversedGreyPalette = false;  // grey palette from white to black, pixels inverted to match
  bool zeroImageInfoResolution = false; // DAT_IMAGEINFO reports 0 dpi

  // What real drivers are seen to do.
  // The notification (MSG_XFERREADY or MSG_CLOSEDSREQ) is raised this many
  // times for one enable.
  int notifyTimes = 1;
  // Right after MSG_XFERREADY the source also asks to be closed: the
  // MSG_CLOSEDSREQ arrives while its page is being transferred.
  bool closeRequestWithTransfer = false;
  // Images that slip in while the application closes: after each of the
  // first lateTransfers MSG_ENDXFER calls that report none pending, one more
  // MSG_XFERREADY.
  int lateTransfers = 0;
  // The answers of the successive native transfers of one enable,
  // overriding nativeXferRc when not empty (the last entry repeats).
  std::vector<TW_UINT16> nativeXferAnswers;
  // The native transfer hands an image whatever it answers (a handle with
  // TWRC_SUCCESS, say), not only with TWRC_XFERDONE.
  bool imageWithAnyAnswer = false;
  // TWRC_XFERDONE without a handle.
  bool doneWithoutImage = false;
  // The image is handed as the HBITMAP of a top-down 24-bit DIB section,
  // and DAT_IMAGEINFO reports -1 dpi, as Wine's gphoto2.ds does.
  bool bitmapImage = false;
};

struct SimSource {
  // As the manager lists it; Id 0 lets the manager number it.
  TW_IDENTITY identity = {};
  std::vector<SimCapability> capabilities;
  SimBehaviour behaviour;
};

// Convenience: an identity with the given texts, version 1.0, protocol 1.9,
// DG_CONTROL | DG_IMAGE, TWLG_USA / TWCY_USA.
TW_IDENTITY MakeIdentity(const std::string &manufacturer, const std::string &family,
                         const std::string &product, const std::string &versionInfo = "1.0");

// Overrides the return code of a triplet, for the manager (toSource false)
// or for the source (toSource true). cap narrows DAT_CAPABILITY rules to one
// capability. times < 0 applies for ever, else that many times.
struct SimRule {
  bool toSource = true;
  TW_UINT32 dg = DG_CONTROL;
  TW_UINT16 dat = DAT_NULL;
  TW_UINT16 msg = MSG_NULL;
  TW_UINT16 cap = kAnyCap;
  TW_UINT16 rc = TWRC_FAILURE;
  int times = -1;
};

// What the image provider is asked for: the frame in inches as the
// application set it (or the physical size when it set none), the current
// resolution and pixel type, and which image of the enable this is.
struct SimImageRequest {
  double left = 0, top = 0, right = 0, bottom = 0; // inches
  double xResolution = 0, yResolution = 0;         // dots per inch
  TW_UINT16 pixelType = TWPT_BW;
  double brightness = 0;
  double threshold = 128;
  int imageIndex = 0; // 0 for the first image of an enable
  const SimSource *source = nullptr;
};

// Returns a GlobalAlloc'ed (GMEM_MOVEABLE) packed DIB, or null to fail the
// transfer. The engine takes the handle and hands it to the application.
using SimImageProvider = std::function<TW_HANDLE(const SimImageRequest &)>;

struct SimConfig {
  std::vector<SimSource> sources; // in the order MSG_GETFIRST / MSG_GETNEXT list them
  int defaultSource = 0;          // index; -1: MSG_GETDEFAULT fails (no source installed)
  int userSelect = 0;             // index the user picks in MSG_USERSELECT; -1 cancels
  TW_UINT16 openDsmRc = TWRC_SUCCESS;
  std::vector<SimRule> rules;
  // Null: the built-in chart (a small pattern sized from frame and resolution).
  SimImageProvider imageProvider;
  // Biggest bitmap the built-in chart makes, in pixels per side.
  int maxImageSide = 4000;
  // MSG_CLOSEDSM while a source is still open first closes the source, as
  // TWAINDSM.DLL and Wine's manager do, instead of refusing (either way it
  // counts as a sequence error of the application).
  bool closeDsmClosesSources = false;
};

} // namespace twainsim
