#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "display/format.h"
#include "display/layout.h"

namespace {

constexpr uint64_t KiB = uint64_t{1} << 10;
constexpr uint64_t MiB = uint64_t{1} << 20;
constexpr uint64_t GiB = uint64_t{1} << 30;
constexpr uint64_t TiB = uint64_t{1} << 40;

// Each formatter runs on a buffer full of stale characters, so a missing
// terminator or a wrong length shows.
template <typename Format>
std::string Formatted(Format format) {
  TextBuffer buffer;
  for (wchar_t& c : buffer) c = L'#';
  format(buffer);
  const int32_t length = TextLength(buffer);
  EXPECT_LT(length, kTextBufferLength);
  return std::string(buffer, buffer + length);
}

std::string GiBRate(uint64_t rate) {
  return Formatted([rate](TextBuffer& b) { FormatGiBRate(rate, b); });
}
std::string Clock(uint64_t hz) {
  return Formatted([hz](TextBuffer& b) { FormatClockFrequency(hz, b); });
}
std::string Rate(uint64_t value) {
  return Formatted([value](TextBuffer& b) { FormatBinaryQuantity(rateUnits, value, b); });
}
std::string Size(uint64_t value) {
  return Formatted([value](TextBuffer& b) { FormatBinaryQuantity(sizeUnits, value, b); });
}

TEST(FormatGiBRate, PrintsWholeMebibytesAfterThePointWithCarry) {
  EXPECT_EQ(GiBRate(GiB + 512 * MiB), "1.512 GiB/s");
  EXPECT_EQ(GiBRate(GiB + 1000 * MiB), "2.000 GiB/s");
  EXPECT_EQ(GiBRate(GiB + 1023 * MiB), "2.023 GiB/s");
  EXPECT_EQ(GiBRate(3 * GiB + 999 * MiB + 5), "3.999 GiB/s");
  EXPECT_EQ(GiBRate(GiB + 7 * MiB), "1.007 GiB/s");
  EXPECT_EQ(GiBRate(0), "0.000 GiB/s");
  EXPECT_EQ(GiBRate(MiB - 1), "0.000 GiB/s");
  EXPECT_EQ(GiBRate(MiB), "0.001 GiB/s");
  // Whole parts beyond 32 bits keep all their digits.
  EXPECT_EQ(GiBRate(UINT64_MAX), "17179869184.023 GiB/s");
}

TEST(FormatClockFrequency, PrintsMegahertzWithKilohertzDigits) {
  EXPECT_EQ(Clock(2394123456u), "Taktfrequenz: 2394.123 MHz");
  EXPECT_EQ(Clock(0), "Taktfrequenz: 0.000 MHz");
  EXPECT_EQ(Clock(999999), "Taktfrequenz: 0.999 MHz");
  EXPECT_EQ(Clock(1000000), "Taktfrequenz: 1.000 MHz");
  EXPECT_EQ(Clock(2600045000u), "Taktfrequenz: 2600.045 MHz");
  EXPECT_EQ(Clock(UINT64_MAX), "Taktfrequenz: 18446744073709.551 MHz");
}

TEST(FormatBinaryQuantity, ChoosesTheLargestUnitWithANonzeroTruncatedQuotient) {
  EXPECT_EQ(Rate(0), "0 B/s");
  EXPECT_EQ(Rate(1), "1 B/s");
  EXPECT_EQ(Rate(1023), "1023 B/s");
  EXPECT_EQ(Rate(1024), "1 KiB/s");
  EXPECT_EQ(Rate(1536), "1 KiB/s");
  EXPECT_EQ(Rate(MiB - 1), "1023 KiB/s");
  EXPECT_EQ(Rate(128 * MiB), "128 MiB/s");
  EXPECT_EQ(Rate(GiB), "1 GiB/s");
  EXPECT_EQ(Rate(3 * GiB), "3 GiB/s");
  EXPECT_EQ(Rate(TiB), "1 TiB/s");
  EXPECT_EQ(Rate(uint64_t{1} << 50), "1024 TiB/s");
  EXPECT_EQ(Rate(UINT64_MAX), "16777215 TiB/s");

  EXPECT_EQ(Size(1), "1 B");
  EXPECT_EQ(Size(2048), "2 KiB");
  EXPECT_EQ(Size(256 * KiB), "256 KiB");
  EXPECT_EQ(Size(2 * MiB), "2 MiB");
  EXPECT_EQ(Size(8 * MiB - 1), "7 MiB");
}

TEST(PowerOfTwo, ShiftsOneAndGivesZeroFromSixtyFourOn) {
  EXPECT_EQ(PowerOfTwo(0), 1u);
  EXPECT_EQ(PowerOfTwo(10), 1024u);
  EXPECT_EQ(PowerOfTwo(32), uint64_t{1} << 32);
  EXPECT_EQ(PowerOfTwo(63), uint64_t{1} << 63);
  EXPECT_EQ(PowerOfTwo(64), 0u);
  EXPECT_EQ(PowerOfTwo(200), 0u);
}

TEST(HighestBitIndex, FindsTheTopBitAndMapsZeroAndOneToZero) {
  EXPECT_EQ(HighestBitIndex(0), 0u);
  EXPECT_EQ(HighestBitIndex(1), 0u);
  EXPECT_EQ(HighestBitIndex(2), 1u);
  EXPECT_EQ(HighestBitIndex(3), 1u);
  EXPECT_EQ(HighestBitIndex(uint64_t{1} << 21), 21u);
  EXPECT_EQ(HighestBitIndex((uint64_t{1} << 33) + 5), 33u);
  EXPECT_EQ(HighestBitIndex(uint64_t{1} << 63), 63u);
  EXPECT_EQ(HighestBitIndex(UINT64_MAX), 63u);
}

TEST(Layout, SplitsTheClientAreaIntoPanelAndChart) {
  const Rect client = {0, 0, 100, 300};
  const Rect panel = GetPanelRect(client);
  const Rect chart = GetChartRect(client);
  EXPECT_EQ((std::vector<int32_t>{panel.left, panel.top, panel.right, panel.bottom}),
            (std::vector<int32_t>{5, 5, 95, 55}));
  EXPECT_EQ((std::vector<int32_t>{chart.left, chart.top, chart.right, chart.bottom}),
            (std::vector<int32_t>{5, 60, 95, 295}));

  // The panel's bottom is fixed whatever the height; tiny client areas give
  // inverted rectangles, which the paint routines must cope with.
  const Rect tall = GetPanelRect(Rect{0, 0, 640, 2000});
  EXPECT_EQ(tall.bottom, 55);
  const Rect tinyChart = GetChartRect(Rect{0, 0, 8, 50});
  EXPECT_LT(tinyChart.bottom, tinyChart.top);
  EXPECT_LT(tinyChart.right, tinyChart.left);
}

}  // namespace
