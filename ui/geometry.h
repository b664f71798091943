// Pixel and dialog-unit arithmetic shared by the skins' windows and dialogs.
#pragma once

namespace skiff {

struct PixelSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A control's place in a dialog template, in dialog units.
struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The dialog base units of the standard Windows system font at 96 dots per inch (GetDialogBaseUnits there).
inline constexpr int kStandardBaseUnitX = 8;
inline constexpr int kStandardBaseUnitY = 16;

// The pixels a dialog with these base units gives a control: each of x, y, width and height converted on its own
// and rounded as the dialog manager does (x * baseX / 4, y * baseY / 8; MulDiv).
PixelRect mapDialogUnits(DialogRect rect, int baseUnitX, int baseUnitY);

// The outer size that gives a window, now `window` outside and `client` inside, a client area of `wanted`.
PixelSize windowSizeForClient(PixelSize window, PixelSize client, PixelSize wanted);

}  // namespace skiff
