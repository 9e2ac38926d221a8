// The survey's picture file: a complete BMP of the asked size with the curves
// in it, and no file left behind when it cannot be written.
#include "app/sweep/survey_picture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/screenshot_file.h"

namespace {

namespace fs = std::filesystem;

uint32_t Little32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

TEST(SurveyPicture, WritesABmpOfTheAskedSizeWithTheCurvesInIt) {
  const fs::path path = fs::temp_directory_path() / "lorvanta-survey-picture-test.bmp";
  fs::remove(path);
  const uint64_t lengths[3] = {2048, 65536, 4194304};
  const uint64_t read[3] = {100000000000, 60000000000, 20000000000};
  SurveyChartData data = {lengths, 3, {read, read, read}};
  data.rates[1] = data.rates[2] = nullptr;

  FileHandle file;
  ASSERT_EQ(CreateNewFile(path.c_str(), &file), FileCreated);
  ASSERT_TRUE(WriteSurveyPicture(file, path.c_str(), 301, 200, data));
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), kBmpHeaderSize + BmpImageSize(301, 200));
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(Little32(bytes, 18), 301u);
  EXPECT_EQ(Little32(bytes, 22), 200u);
  // The read curve's colour, rgb(255, 200, 0), stored blue, green, red: the
  // legend has about 100 such pixels, the curve across the plot more again.
  size_t readPixels = 0;
  for (size_t at = kBmpHeaderSize; at + 2 < bytes.size(); ++at)
    readPixels += bytes[at] == 0 && bytes[at + 1] == 200 && bytes[at + 2] == 255;
  EXPECT_GT(readPixels, 200u);
  fs::remove(path);

  ASSERT_EQ(CreateNewFile(path.c_str(), &file), FileCreated);
  EXPECT_FALSE(WriteSurveyPicture(file, path.c_str(), 0, 200, data));
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
