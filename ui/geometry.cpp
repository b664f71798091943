#include "ui/geometry.h"

#include <cstdint>

namespace skiff {

namespace {

// a * b / c rounded half away from zero, as MulDiv does.
int mulDiv(int a, int b, int c) {
  const std::int64_t product = static_cast<std::int64_t>(a) * b;
  const std::int64_t half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

PixelRect mapDialogUnits(DialogRect rect, int baseUnitX, int baseUnitY) {
  const int left = mulDiv(rect.x, baseUnitX, 4);
  const int top = mulDiv(rect.y, baseUnitY, 8);
  return {left, top, left + mulDiv(rect.width, baseUnitX, 4), top + mulDiv(rect.height, baseUnitY, 8)};
}

PixelSize windowSizeForClient(PixelSize window, PixelSize client, PixelSize wanted) {
  return {window.width - client.width + wanted.width, window.height - client.height + wanted.height};
}

}  // namespace skiff
