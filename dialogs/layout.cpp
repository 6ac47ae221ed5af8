#include "dialogs/layout.h"

namespace {

// The share of a size change that a weight takes. Computed in 64 bits so
// that a large change times a large weight cannot overflow; a group whose
// weights add up to 0 (or less) shares nothing rather than dividing by it.
std::int32_t Share(std::int32_t change, std::int32_t weight, std::int64_t total) {
  if (total <= 0)
    return 0;
  return static_cast<std::int32_t>(std::int64_t(change) * weight / total);
}

void Walk(const LayoutEntry *table, int level, std::uint32_t parentKey, std::int32_t x,
          std::int32_t y, std::int32_t dx, std::int32_t dy,
          std::vector<LayoutPlacement> &out) {
  // A key has eight digits: nothing lies below the last level.
  if (table == nullptr || level < 0 || level >= kLayoutLevels)
    return;
  const LayoutLevelMasks masks = LayoutMasks(level);
  auto isChild = [&](std::uint32_t key) {
    return (key & masks.digit) != 0 && (key & masks.lower) == 0 &&
           (key & masks.prefix) == parentKey;
  };
  std::int64_t total = 0;
  for (const LayoutEntry *e = table; e->key != 0; ++e)
    if (isChild(e->key))
      total += e->weight;

  for (const LayoutEntry *e = table; e->key != 0; ++e) {
    if (!isChild(e->key))
      continue;
    const std::int32_t cdx = (e->flags & kLayoutShareX) ? Share(dx, e->weight, total) : dx;
    const std::int32_t cdy = (e->flags & kLayoutShareY) ? Share(dy, e->weight, total) : dy;
    Walk(table, level + 1, e->key, x, y, cdx, cdy, out);
    if (e->controlId != 0) {
      RECT r = e->rect;
      r.left += x;
      r.right += x;
      r.top += y;
      r.bottom += y;
      switch (e->flags & 0xF) {
      case kLayoutMoveHalfX:
        r.left += cdx / 2;
        r.right += cdx / 2;
        break;
      case kLayoutMoveX:
        r.left += cdx;
        r.right += cdx;
        break;
      case kLayoutStretchX:
        r.right += cdx;
        break;
      default:
        break;
      }
      switch (e->flags & 0xF0) {
      case kLayoutMoveHalfY:
        r.top += cdy / 2;
        r.bottom += cdy / 2;
        break;
      case kLayoutMoveY:
        r.top += cdy;
        r.bottom += cdy;
        break;
      case kLayoutStretchY:
        r.bottom += cdy;
        break;
      default:
        break;
      }
      out.push_back({static_cast<std::size_t>(e - table), r});
    }
    if (e->flags & kLayoutShareX)
      x += cdx;
    if (e->flags & kLayoutShareY)
      y += cdy;
  }
}

} // namespace

LayoutLevelMasks LayoutMasks(int level) {
  if (level < 0 || level >= kLayoutLevels)
    return {0, 0, 0xFFFFFFFFu};
  const unsigned shift = 4u * unsigned(level);
  return {0xF0000000u >> shift, 0x0FFFFFFFu >> shift,
          level == 0 ? 0u : 0xFFFFFFFFu << (32u - shift)};
}

std::vector<LayoutPlacement> ComputeLayout(const LayoutEntry *table, int level,
                                           std::uint32_t parentKey, std::int32_t x,
                                           std::int32_t y, std::int32_t dx, std::int32_t dy) {
  std::vector<LayoutPlacement> out;
  Walk(table, level, parentKey, x, y, dx, dy, out);
  return out;
}
