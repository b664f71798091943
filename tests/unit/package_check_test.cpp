#include <gtest/gtest.h>

#include "newton/package_check.h"
#include "tests/support/sample_package.h"

namespace skiff::newton {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PackageCheck, MinimalPackageIsAccepted) {
  const Bytes package = test::minimalPackage();
  const PackageVerdict verdict = checkPackage(package, package.size());
  EXPECT_EQ(verdict.result, kPackageOk) << verdict.reason;
  EXPECT_EQ(verdict.name, "Skiff:TEST");
  EXPECT_EQ(verdict.parts, 1u);
}

TEST(PackageCheck, GrownPackagesAreAccepted) {
  for (std::size_t size : {125u, 5001u, 70000u, 262144u}) {
    const Bytes package = test::validPackage(size);
    EXPECT_EQ(checkPackage(package, size).result, kPackageOk) << size;
  }
}

struct Spoil {
  const char* name;
  std::size_t at;
  std::uint8_t value;
};

class SpoiledPackage : public ::testing::TestWithParam<Spoil> {};

TEST_P(SpoiledPackage, IsRefused) {
  Bytes package = test::minimalPackage();
  package[GetParam().at] = GetParam().value;
  const PackageVerdict verdict = checkPackage(package, package.size());
  EXPECT_EQ(verdict.result, kBadPackage);
  EXPECT_FALSE(verdict.reason.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpoiledPackage,
    ::testing::Values(Spoil{"Signature", 0, 'P'}, Spoil{"Version", 7, '2'}, Spoil{"SizeField", 31, 0x7D},
                      Spoil{"DirectoryTooSmall", 47, 0x50}, Spoil{"DirectoryBeyondSize", 47, 0x80},
                      Spoil{"TooManyParts", 51, 0x03}, Spoil{"NameOutside", 27, 0x30},
                      Spoil{"CopyrightOutside", 21, 0x40}, Spoil{"PartOutside", 59, 0x11},
                      Spoil{"InfoOutside", 0x4F, 0x40}),
    [](const auto& info) { return info.param.name; });

TEST(PackageCheck, AnnouncedLengthMustMatch) {
  const Bytes package = test::minimalPackage();
  EXPECT_EQ(checkPackage(package, 128).result, kBadPackage);
}

TEST(PackageCheck, ShortAndEmptyInputIsRefusedSafely) {
  const Bytes package = test::minimalPackage();
  for (std::size_t n : {0u, 1u, 8u, 51u, 60u, 100u}) {
    const Bytes cut(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(checkPackage(cut, n).result, kBadPackage) << n;
  }
}

}  // namespace
}  // namespace skiff::newton
