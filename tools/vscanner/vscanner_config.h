// What the virtual scanner DLL plays: its sources, their identities,
// capabilities and behaviour, read from an INI file. Plain code: no
// <windows.h>, so it also builds natively.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vscanner {

// The environment variable that names the INI file. The copier itself reads
// neither; only this DLL does.
constexpr const wchar_t *kIniVariable = L"ZV_VSCANNER_INI";

// How a capability offers its values.
enum class ValueForm { List, One, Range };

struct NumberSet {
  ValueForm form = ValueForm::One;
  std::vector<double> values;  // List: every value; One: exactly one
  double minValue = 0;         // Range only
  double maxValue = 0;
  double step = 1;
  double defaultValue = 0;     // what the source starts with and resets to
};

// What happens once the source is enabled.
enum class Behaviour {
  Deliver,       // MSG_XFERREADY, then one image
  CloseRequest,  // MSG_CLOSEDSREQ, as if the user cancelled the dialog
  FailTransfer,  // MSG_XFERREADY, then the native transfer answers TWRC_FAILURE
  CancelTransfer,// MSG_XFERREADY, then the native transfer answers TWRC_CANCEL
  TwoImages,     // MSG_XFERREADY; MSG_ENDXFER reports one more image pending
};

// The answer to MSG_ENABLEDS.
enum class EnableAnswer { Success, CheckStatus, Failure, Cancel };

struct HeaderFaults {
  bool zeroPelsPerMeter = false;
  bool zeroColourCount = false;
  bool zeroImageSize = false;
  bool reversedGreyPalette = false;  // index 0 white; the pixels follow it
};

struct SourceSetup {
  // Identity. Texts are ANSI bytes; at most 33 are kept.
  std::string manufacturer = "Zelvantor";
  std::string productFamily = "Virtual Scanner";
  std::string productName = "Zelvantor Virtual Scanner";
  std::string versionInfo = "1.0";
  std::uint16_t versionMajor = 1;
  std::uint16_t versionMinor = 0;
  std::uint16_t protocolMajor = 1;
  std::uint16_t protocolMinor = 9;

  // Capabilities.
  NumberSet resolutions;            // ICAP_XRESOLUTION / ICAP_YRESOLUTION
  std::vector<int> pixelTypes;      // offered, in order
  int pixelTypeDefault = 0;
  std::vector<int> units;           // offered, in order
  int unitDefault = 0;
  double xNativeResolution = 600;
  double yNativeResolution = 600;
  double physicalWidth = 8.5;       // inches
  double physicalHeight = 11.69;
  NumberSet brightness;
  bool uiControllable = true;

  // Behaviour.
  Behaviour behaviour = Behaviour::Deliver;
  EnableAnswer enableAnswer = EnableAnswer::Success;
  bool refuseOpen = false;          // MSG_OPENDS answered TWRC_FAILURE
  bool bitmapImage = false;         // the page as an HBITMAP (NativeImage=Bitmap)
  std::uint32_t xferReadyDelayMs = 0;
  HeaderFaults faults;

  // The image: empty for the built-in test chart, else a BMP file (UTF-8 path).
  std::string imagePath;
};

struct Config {
  std::vector<SourceSetup> sources;
  std::size_t defaultSource = 0;  // index into sources
  std::string tracePath;          // UTF-8; empty: no trace
  // [Manager] Sources=none: a manager with no source installed at all.
  bool noSources = false;
  // [Manager] CountFrees=yes: the DLL follows the program's frees (see
  // vscanner_config.cpp).
  bool countFrees = false;
  // Lines the reader did not understand, "line N: text", for the trace.
  std::vector<std::string> warnings;
};

// The flatbed every configuration starts from.
SourceSetup DefaultSource();

// The source whose identity gives ScannerId 0xA510B7A9 (the scanner whose
// black-and-white scans the copier makes from greyscale); otherwise like
// DefaultSource. Its product name's last eight characters were solved for
// with solve_scanner_id.py.
SourceSetup SpecialBwSource();

// A named preset ("Flatbed", "A510B7A9"); false when unknown.
bool PresetSource(std::string_view name, SourceSetup &out);

// One flatbed: what the DLL plays without an INI file.
Config DefaultConfig();

// Reads an INI text (UTF-8, optional BOM). Never fails: unknown keys and bad
// values are noted in warnings and leave the default. A text without any
// [Source...] section gives DefaultConfig's source.
Config ParseConfig(std::string_view text);

// Parses "a,b,c" (List), "v" (One) or "min..max[/step]" (Range, step 1 when
// not given). The default is the first listed value or the range minimum;
// the INI's ...Default keys may pick another. False on malformed text.
bool ParseNumberSet(std::string_view text, NumberSet &out);

} // namespace vscanner
