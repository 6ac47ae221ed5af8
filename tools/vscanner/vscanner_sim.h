// From the virtual scanner's INI description to the simulator engine's
// configuration, and the images it hands out.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/twainsim/sim_config.h"
#include "tools/vscanner/vscanner_config.h"
#include "tools/vscanner/vscanner_image.h"

namespace vscanner {

// The TW_IDENTITY a source is listed with (Id 0: ToSimConfig numbers it).
TW_IDENTITY IdentityOf(const SourceSetup &setup);

// The engine's description of one source: identity, capabilities (a unit
// default other than inches included) and behaviour.
twainsim::SimSource ToSimSource(const SourceSetup &setup);

// Every source, the default one, and an image provider that draws the
// chart or stretches the source's BMP file. Relative BMP paths are taken
// from baseFolder (the INI file's folder; may be empty).
twainsim::SimConfig ToSimConfig(const Config &config, const std::wstring &baseFolder);

// The engine's request as the image generator's (a clean image: the engine
// adds the source's header faults); false for a pixel type the generator
// does not make.
bool ToImageRequest(const twainsim::SimImageRequest &request, ImageRequest &out);

// A movable global block holding the DIB for the request, or null (frame
// too large, unknown pixel type, unreadable BMP, no memory).
HGLOBAL MakeImage(const twainsim::SimImageRequest &request, const SourceSetup &setup,
                  const std::wstring &baseFolder);

// UTF-8 to UTF-16 (paths from the INI file).
std::wstring WideFromUtf8(const std::string &text);

// The whole file, when it opens and is no larger than maxBytes. Others may
// hold it open for writing meanwhile.
bool ReadWholeFile(const std::wstring &path, std::uint32_t maxBytes,
                   std::vector<std::uint8_t> &out);

} // namespace vscanner
