// The virtual scanner's INI file, named by the environment variable
// ZV_VSCANNER_INI (UTF-8, an optional BOM). Without it the DLL plays one
// flatbed, "Zelvantor Virtual Scanner".
//
//   ; comment            # comment too; blank lines are ignored
//   [Manager]
//   Trace=C:\temp\vs.log  append one line per DSM_Entry call received
//   Default=2             1-based number of the default source (default 1)
//   Sources=none          a manager with no source installed: listing and the
//                         default-source request fail, [Source] sections are
//                         ignored
//   CountFrees=no         yes: TWAIN_32.DLL follows every GlobalFree and
//                         DeleteObject of the program that loaded it, and
//                         when it is unloaded writes to the trace how many
//                         blocks and bitmaps its sources handed out were
//                         not given back, and how many were given back twice
//
//   [Source]              one section per source, in order; "[Source Name]"
//                         is the same, the name is only for the reader
//   Preset=A510B7A9       start from a preset: Flatbed (the default source)
//                         or A510B7A9 (the identity whose ScannerId is
//                         0xA510B7A9); applied before the other keys,
//                         wherever it stands in the section
//   Manufacturer=, ProductFamily=, ProductName=, VersionInfo=
//                         identity texts (at most 33 bytes kept)
//   Version=1.0           Version.MajorNum.MinorNum
//   Protocol=1.9          ProtocolMajor.ProtocolMinor
//   Resolutions=75,150,300   a list (TWON_ENUMERATION)
//   Resolutions=300          one value (TWON_ONEVALUE)
//   Resolutions=50..1200/25  a range min..max[/step] (TWON_RANGE, step 1)
//   ResolutionDefault=300    default and current value (must be offered)
//   PixelTypes=BW,GRAY,RGB   names or numbers (TWPT_*); PixelTypeDefault=
//   Units=INCHES             names or numbers (TWUN_*); UnitDefault=
//   NativeResolution=600     both axes; XNativeResolution=, YNativeResolution=
//   PhysicalWidth=8.5        glass size in inches; PhysicalHeight=11.69
//   Brightness=-1000..1000   like Resolutions; BrightnessDefault=
//   UIControllable=yes       whether the UI can be hidden (yes/no, 1/0)
//   Behaviour=Deliver        Deliver | CloseRequest (MSG_CLOSEDSREQ instead
//                            of an image) | FailTransfer (TWRC_FAILURE) |
//                            CancelTransfer (TWRC_CANCEL) | TwoImages
//   EnableDS=Success         answer to MSG_ENABLEDS: Success | CheckStatus |
//                            Failure | Cancel
//   OpenDS=Success           answer to MSG_OPENDS: Success | Failure (a
//                            source that cannot be opened, like a camera
//                            driver with no camera attached)
//   NativeImage=Block        how a page is handed over: Block (a packed DIB in
//                            global memory) | Bitmap (the HBITMAP of a
//                            top-down 24-bit DIB section, -1 dpi in
//                            DAT_IMAGEINFO, as Wine's gphoto2.ds hands it)
//   XferReadyDelay=0         milliseconds from MSG_ENABLEDS to MSG_XFERREADY
//   HeaderFaults=None        comma list: ZeroPelsPerMeter, ZeroColourCount,
//                            ZeroImageSize, ReversedGreyPalette
//   Image=Chart              the built-in test chart, or the path of a BMP
//                            file (1/4/8/24/32-bit uncompressed) stretched
//                            over the requested frame
//
// Unknown keys and bad values are noted (they appear in the trace) and leave
// the previous value.
#include "tools/vscanner/vscanner_config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace vscanner {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char &c : out)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ParseDouble(std::string_view text, double &out) {
  const std::string s(Trim(text));
  if (s.empty())
    return false;
  char *end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !(v == v) || v > 1e9 || v < -1e9)
    return false;
  out = v;
  return true;
}

bool ParseUnsigned(std::string_view text, std::uint32_t limit, std::uint32_t &out) {
  const std::string_view s = Trim(text);
  if (s.empty() || s.size() > 10)
    return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9')
      return false;
    v = v * 10 + std::uint64_t(c - '0');
  }
  if (v > limit)
    return false;
  out = std::uint32_t(v);
  return true;
}

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(sep);
    parts.push_back(Trim(text.substr(0, at)));
    if (at == std::string_view::npos)
      return parts;
    text.remove_prefix(at + 1);
  }
}

bool ParseBool(std::string_view text, bool &out) {
  const std::string s = Lower(Trim(text));
  if (s == "1" || s == "yes" || s == "true" || s == "on") {
    out = true;
    return true;
  }
  if (s == "0" || s == "no" || s == "false" || s == "off") {
    out = false;
    return true;
  }
  return false;
}

// "major.minor" with each part 0..65535.
bool ParseVersionPair(std::string_view text, std::uint16_t &major, std::uint16_t &minor) {
  const auto parts = Split(text, '.');
  std::uint32_t a = 0, b = 0;
  if (parts.size() != 2 || !ParseUnsigned(parts[0], 0xFFFF, a) || !ParseUnsigned(parts[1], 0xFFFF, b))
    return false;
  major = std::uint16_t(a);
  minor = std::uint16_t(b);
  return true;
}

// A comma list of names (from the table, index = value) or numbers.
bool ParseCodeList(std::string_view text, const std::vector<const char *> &names,
                   int maxValue, std::vector<int> &out) {
  std::vector<int> codes;
  for (auto part : Split(text, ',')) {
    const std::string lower = Lower(part);
    int code = -1;
    for (std::size_t i = 0; i < names.size(); ++i)
      if (lower == names[i])
        code = int(i);
    std::uint32_t number = 0;
    if (code < 0 && ParseUnsigned(part, std::uint32_t(maxValue), number))
      code = int(number);
    if (code < 0)
      return false;
    codes.push_back(code);
  }
  if (codes.empty())
    return false;
  out = codes;
  return true;
}

const std::vector<const char *> kPixelTypeNames = {"bw", "gray", "rgb", "palette", "cmy",
                                                   "cmyk", "yuv", "yuvk", "ciexyz"};
const std::vector<const char *> kUnitNames = {"inches", "centimeters", "picas",
                                              "points", "twips", "pixels"};

bool Offers(const NumberSet &set, double v) {
  switch (set.form) {
  case ValueForm::Range:
    return v >= set.minValue && v <= set.maxValue;
  default:
    for (double x : set.values)
      if (x == v)
        return true;
    return false;
  }
}

struct Section {
  std::string name;  // lower case, without brackets
  int line = 0;      // of the header
  std::vector<std::pair<std::string, std::string>> entries;  // key lower case
  std::vector<int> lines;
};

class Reader {
public:
  explicit Reader(Config &config) : config_(config) {}

  void Warn(int line, const std::string &what) {
    config_.warnings.push_back("line " + std::to_string(line) + ": " + what);
  }

  void ApplyManager(const Section &section) {
    for (std::size_t i = 0; i < section.entries.size(); ++i) {
      const auto &[key, value] = section.entries[i];
      const int line = section.lines[i];
      std::uint32_t number = 0;
      if (key == "trace")
        config_.tracePath = value;
      else if (key == "default" && ParseUnsigned(value, 1000, number) && number >= 1)
        defaultNumber_ = number;
      else if (key == "sources" && Lower(Trim(value)) == "none")
        config_.noSources = true;
      else if (key == "countfrees" && ParseBool(value, config_.countFrees))
        continue;
      else
        Warn(line, "not understood: " + key + "=" + value);
    }
  }

  void ApplySource(const Section &section) {
    SourceSetup setup = DefaultSource();
    for (std::size_t i = 0; i < section.entries.size(); ++i) {
      const auto &[key, value] = section.entries[i];
      if (key == "preset" && !PresetSource(Trim(value), setup))
        Warn(section.lines[i], "unknown preset: " + value);
    }
    std::string resolutionDefault, brightnessDefault;
    int resolutionDefaultLine = 0, brightnessDefaultLine = 0;
    for (std::size_t i = 0; i < section.entries.size(); ++i) {
      const auto &[key, value] = section.entries[i];
      const int line = section.lines[i];
      if (key == "preset")
        continue;
      if (key == "resolutiondefault") {
        resolutionDefault = value;
        resolutionDefaultLine = line;
        continue;
      }
      if (key == "brightnessdefault") {
        brightnessDefault = value;
        brightnessDefaultLine = line;
        continue;
      }
      if (!ApplyKey(setup, key, value))
        Warn(line, "not understood: " + key + "=" + value);
    }
    ApplyDefault(setup.resolutions, resolutionDefault, resolutionDefaultLine, "ResolutionDefault");
    ApplyDefault(setup.brightness, brightnessDefault, brightnessDefaultLine, "BrightnessDefault");
    config_.sources.push_back(setup);
  }

  void Finish() {
    if (config_.noSources) {
      if (!config_.sources.empty())
        config_.warnings.push_back("Sources=none: the [Source] sections are ignored");
      config_.sources.clear();
      config_.defaultSource = 0;
      return;
    }
    if (config_.sources.empty())
      config_.sources.push_back(DefaultSource());
    config_.defaultSource = 0;
    if (defaultNumber_ >= 1 && defaultNumber_ <= config_.sources.size())
      config_.defaultSource = defaultNumber_ - 1;
    else if (defaultNumber_ != 0)
      config_.warnings.push_back("Default names no source");
  }

private:
  void ApplyDefault(NumberSet &set, const std::string &value, int line, const char *name) {
    if (value.empty())
      return;
    double v = 0;
    if (ParseDouble(value, v) && Offers(set, v))
      set.defaultValue = v;
    else
      Warn(line, std::string(name) + " not offered: " + value);
  }

  static bool ApplyText(std::string &field, std::string_view value) {
    field = std::string(value.substr(0, 33));
    return true;
  }

  static bool ApplyKey(SourceSetup &setup, const std::string &key, const std::string &value) {
    double d = 0;
    std::uint32_t u = 0;
    std::vector<int> codes;
    if (key == "manufacturer")
      return ApplyText(setup.manufacturer, value);
    if (key == "productfamily")
      return ApplyText(setup.productFamily, value);
    if (key == "productname")
      return ApplyText(setup.productName, value);
    if (key == "versioninfo")
      return ApplyText(setup.versionInfo, value);
    if (key == "version")
      return ParseVersionPair(value, setup.versionMajor, setup.versionMinor);
    if (key == "protocol")
      return ParseVersionPair(value, setup.protocolMajor, setup.protocolMinor);
    if (key == "resolutions") {
      NumberSet set;
      if (!ParseNumberSet(value, set) || set.defaultValue <= 0 ||
          (set.form == ValueForm::Range ? set.minValue : *std::min_element(set.values.begin(), set.values.end())) <= 0)
        return false;
      setup.resolutions = set;
      return true;
    }
    if (key == "brightness") {
      // A range or one value: the copier reads nothing else for brightness.
      NumberSet set;
      if (!ParseNumberSet(value, set) || set.form == ValueForm::List)
        return false;
      setup.brightness = set;
      return true;
    }
    if (key == "pixeltypes" && ParseCodeList(value, kPixelTypeNames, 8, codes)) {
      setup.pixelTypes = codes;
      setup.pixelTypeDefault = codes.front();
      return true;
    }
    if (key == "pixeltypedefault" && ParseCodeList(value, kPixelTypeNames, 8, codes) && codes.size() == 1) {
      setup.pixelTypeDefault = codes.front();
      return true;
    }
    if (key == "units" && ParseCodeList(value, kUnitNames, 5, codes)) {
      setup.units = codes;
      setup.unitDefault = codes.front();
      return true;
    }
    if (key == "unitdefault" && ParseCodeList(value, kUnitNames, 5, codes) && codes.size() == 1) {
      setup.unitDefault = codes.front();
      return true;
    }
    if ((key == "nativeresolution" || key == "xnativeresolution" || key == "ynativeresolution") &&
        ParseDouble(value, d) && d > 0 && d <= 100000) {
      if (key != "ynativeresolution")
        setup.xNativeResolution = d;
      if (key != "xnativeresolution")
        setup.yNativeResolution = d;
      return true;
    }
    if (key == "physicalwidth" && ParseDouble(value, d) && d > 0 && d <= 1000) {
      setup.physicalWidth = d;
      return true;
    }
    if (key == "physicalheight" && ParseDouble(value, d) && d > 0 && d <= 1000) {
      setup.physicalHeight = d;
      return true;
    }
    if (key == "uicontrollable")
      return ParseBool(value, setup.uiControllable);
    if (key == "behaviour" || key == "behavior") {
      const std::string v = Lower(value);
      if (v == "deliver")
        setup.behaviour = Behaviour::Deliver;
      else if (v == "closerequest")
        setup.behaviour = Behaviour::CloseRequest;
      else if (v == "failtransfer")
        setup.behaviour = Behaviour::FailTransfer;
      else if (v == "canceltransfer")
        setup.behaviour = Behaviour::CancelTransfer;
      else if (v == "twoimages")
        setup.behaviour = Behaviour::TwoImages;
      else
        return false;
      return true;
    }
    if (key == "enableds") {
      const std::string v = Lower(value);
      if (v == "success")
        setup.enableAnswer = EnableAnswer::Success;
      else if (v == "checkstatus")
        setup.enableAnswer = EnableAnswer::CheckStatus;
      else if (v == "failure")
        setup.enableAnswer = EnableAnswer::Failure;
      else if (v == "cancel")
        setup.enableAnswer = EnableAnswer::Cancel;
      else
        return false;
      return true;
    }
    if (key == "nativeimage") {
      const std::string v = Lower(value);
      if (v == "block")
        setup.bitmapImage = false;
      else if (v == "bitmap")
        setup.bitmapImage = true;
      else
        return false;
      return true;
    }
    if (key == "opends") {
      const std::string v = Lower(value);
      if (v == "success")
        setup.refuseOpen = false;
      else if (v == "failure")
        setup.refuseOpen = true;
      else
        return false;
      return true;
    }
    if (key == "xferreadydelay" && ParseUnsigned(value, 600000, u)) {
      setup.xferReadyDelayMs = u;
      return true;
    }
    if (key == "headerfaults") {
      HeaderFaults faults;
      for (auto part : Split(value, ',')) {
        const std::string v = Lower(part);
        if (v == "none")
          continue;
        if (v == "zeropelspermeter")
          faults.zeroPelsPerMeter = true;
        else if (v == "zerocolourcount" || v == "zerocolorcount")
          faults.zeroColourCount = true;
        else if (v == "zeroimagesize")
          faults.zeroImageSize = true;
        else if (v == "reversedgreypalette" || v == "reversedgraypalette")
          faults.reversedGreyPalette = true;
        else
          return false;
      }
      setup.faults = faults;
      return true;
    }
    if (key == "image") {
      setup.imagePath = Lower(value) == "chart" ? std::string() : value;
      return true;
    }
    return false;
  }

  Config &config_;
  std::size_t defaultNumber_ = 0;
};

} // namespace

bool ParseNumberSet(std::string_view text, NumberSet &out) {
  text = Trim(text);
  NumberSet set;
  const auto dots = text.find("..");
  if (dots != std::string_view::npos && dots > 0) {
    std::string_view rest = text.substr(dots + 2);
    std::string_view stepText;
    const auto slash = rest.find('/');
    if (slash != std::string_view::npos) {
      stepText = rest.substr(slash + 1);
      rest = rest.substr(0, slash);
    }
    set.form = ValueForm::Range;
    if (!ParseDouble(text.substr(0, dots), set.minValue) || !ParseDouble(rest, set.maxValue) ||
        set.maxValue < set.minValue)
      return false;
    if (!stepText.empty() && (!ParseDouble(stepText, set.step) || set.step <= 0))
      return false;
    set.defaultValue = set.minValue;
    out = set;
    return true;
  }
  for (auto part : Split(text, ',')) {
    double v = 0;
    if (!ParseDouble(part, v))
      return false;
    set.values.push_back(v);
  }
  if (set.values.empty() || set.values.size() > 1000)
    return false;
  set.form = set.values.size() == 1 ? ValueForm::One : ValueForm::List;
  set.defaultValue = set.values.front();
  out = set;
  return true;
}

SourceSetup DefaultSource() {
  SourceSetup setup;
  setup.resolutions.form = ValueForm::List;
  setup.resolutions.values = {75, 100, 150, 200, 300, 600, 1200};
  setup.resolutions.defaultValue = 300;
  setup.pixelTypes = {0, 1, 2};
  setup.pixelTypeDefault = 2;
  setup.units = {0};
  setup.unitDefault = 0;
  setup.brightness.form = ValueForm::Range;
  setup.brightness.minValue = -1000;
  setup.brightness.maxValue = 1000;
  setup.brightness.step = 1;
  setup.brightness.defaultValue = 0;
  return setup;
}

SourceSetup SpecialBwSource() {
  SourceSetup setup = DefaultSource();
  setup.manufacturer = "Zelvantor";
  setup.productFamily = "Virtual Scanner";
  setup.productName = "ZV Greyscale 1-bit TzGuxPPT";
  setup.versionInfo = "1.0";
  setup.versionMajor = 1;
  setup.versionMinor = 0;
  setup.protocolMajor = 1;
  setup.protocolMinor = 9;
  return setup;
}

bool PresetSource(std::string_view name, SourceSetup &out) {
  const std::string lower = Lower(name);
  if (lower == "flatbed") {
    out = DefaultSource();
    return true;
  }
  if (lower == "a510b7a9") {
    out = SpecialBwSource();
    return true;
  }
  return false;
}

Config DefaultConfig() {
  Config config;
  config.sources.push_back(DefaultSource());
  return config;
}

Config ParseConfig(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    text.remove_prefix(3);
  std::vector<Section> sections(1);  // [0]: lines before any section
  int lineNumber = 0;
  Config config;
  Reader reader(config);
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    line = Trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '#')
      continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      if (close == std::string_view::npos) {
        reader.Warn(lineNumber, "bad section header");
        continue;
      }
      Section section;
      section.name = Lower(Trim(line.substr(1, close - 1)));
      section.line = lineNumber;
      sections.push_back(section);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
      reader.Warn(lineNumber, "no '=': " + std::string(line));
      continue;
    }
    sections.back().entries.emplace_back(Lower(Trim(line.substr(0, eq))),
                                         std::string(Trim(line.substr(eq + 1))));
    sections.back().lines.push_back(lineNumber);
  }
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const Section &section = sections[i];
    if (i == 0) {
      if (!section.entries.empty())
        reader.Warn(section.lines.front(), "key outside a section");
    } else if (section.name == "manager") {
      reader.ApplyManager(section);
    } else if (section.name == "source" || section.name.rfind("source ", 0) == 0) {
      reader.ApplySource(section);
    } else {
      reader.Warn(section.line, "unknown section [" + section.name + "]");
    }
  }
  reader.Finish();
  return config;
}

} // namespace vscanner
