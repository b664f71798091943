#include <gtest/gtest.h>

#include "ui/about_layout.h"

namespace skiff {

void PrintTo(const PixelRect& r, std::ostream* out) {
  *out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}

namespace {

struct MapCase {
  DialogRect units;
  int baseX, baseY;
  PixelRect pixels;
};

TEST(DialogUnits, MapLikeTheDialogManager) {
  const MapCase cases[] = {
      // The About box's template size: 382 x 326 with the standard system font, 334 x 265 with Wine's.
      {{0, 0, 191, 163}, 8, 16, {0, 0, 382, 326}},
      {{0, 0, 191, 163}, 7, 13, {0, 0, 334, 265}},
      // The status dialog's bar frame; each of x, y, width, height rounds on its own.
      {{3, 62, 180, 10}, 8, 16, {6, 124, 366, 144}},
      {{3, 62, 180, 10}, 7, 13, {5, 101, 320, 117}},
      {{3, 62, 180, 10}, 6, 13, {5, 101, 275, 117}},
  };
  for (const MapCase& c : cases) {
    EXPECT_EQ(mapDialogUnits(c.units, c.baseX, c.baseY), c.pixels) << c.baseX << " x " << c.baseY;
  }
}

TEST(DialogUnits, WindowSizeForClientKeepsTheFrame) {
  EXPECT_EQ(windowSizeForClient({340, 285}, {334, 265}, {388, 332}), (PixelSize{394, 352}));
}

struct LayoutCase {
  const char* what;
  PixelSize text;
  PixelRect versionPlace;
};

TEST(AboutLayout, ButtonAndVersionKeepTheirPlacesOnThePicture) {
  const LayoutCase cases[] = {
      // The standard system font: nothing moves from where the template puts it.
      {"fits", {126, 16}, {224, 302, 376, 324}},
      {"exactly fits", {152, 22}, {224, 302, 376, 324}},
      // A bigger font grows the place leftwards and upwards from its bottom-right corner.
      {"wider", {170, 16}, {206, 302, 376, 324}},
      {"taller", {140, 30}, {224, 294, 376, 324}},
      {"wider than the picture", {500, 400}, {0, 0, 376, 324}},
  };
  for (const LayoutCase& c : cases) {
    const AboutLayout layout = aboutLayout(c.text);
    EXPECT_EQ(layout.okButton, (PixelRect{158, 294, 222, 322})) << c.what;
    EXPECT_EQ(layout.versionPlace, c.versionPlace) << c.what;
  }
}

}  // namespace
}  // namespace skiff
