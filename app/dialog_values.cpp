#include "app/dialog_values.h"

#include "copyjob/paper_size.h"
#include "twain/twain.h"

std::uint32_t ScaleFromDialog(bool percentChosen, std::int64_t percentField, int sourceIndex,
                              int destinationIndex) {
  if (!percentChosen)
    return ScaleFromPaperSizes(sourceIndex, destinationIndex);
  const std::int32_t percent = std::int32_t(std::uint32_t(std::uint64_t(percentField)));
  if (percent <= 0)
    return 0;
  // The field holds at most three digits; anything larger pasted in is still
  // kept from wrapping to a small scale.
  if (std::uint32_t(percent) > 0xFFFFFFFFu / 100u)
    return 0xFFFFFFFFu / 100u * 100u;
  return std::uint32_t(percent) * 100u;
}

std::int64_t PercentShown(std::uint32_t scale) { return RoundedDivide(scale, 100); }

bool CopiesFromDialog(std::int64_t copiesField, std::uint32_t *copies) {
  const std::uint32_t low = std::uint32_t(std::uint64_t(copiesField));
  if (std::int32_t(low) < 0)
    return false;
  *copies = low;
  return true;
}

std::int32_t ModeFromSelection(std::int64_t selection) {
  if (selection == 1)
    return TWPT_GRAY;
  if (selection == 2)
    return TWPT_RGB;
  return TWPT_BW;
}
