// The one table of TWAIN names the simulator's call records and the virtual
// scanner's trace lines are both written from. Plain code: no <windows.h>.
#pragma once

#include <cstdint>

namespace twainsim {

// The name of a value as the TWAIN standard spells it, data argument types
// and messages without their DAT_ / MSG_ prefix ("CAPABILITY", "SET"),
// capabilities with theirs ("ICAP_XRESOLUTION"); null for a value not named
// here, which each caller shows in its own way.
const char *KnownDatName(std::uint16_t dat);
const char *KnownMsgName(std::uint16_t msg);
const char *KnownCapName(std::uint16_t cap);

} // namespace twainsim
