#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "display/format.h"

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

}  // namespace
