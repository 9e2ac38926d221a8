// The survey's picture file: a complete BMP of the asked size with the curves
// in it, and no file left behind when it cannot be written.
#include "app/sweep/survey_picture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/screenshot_file.h"

TEST(SurveyPicture, WritesABmpOfTheAskedSizeWithTheCurvesInItOrNoFileAtAll) {
  const std::filesystem::path path = std::filesystem::temp_directory_path() / "lorvanta-survey-picture-test.bmp";
  std::filesystem::remove(path);
  const uint64_t lengths[3] = {2048, 65536, 4194304}, read[3] = {100000000000, 60000000000, 20000000000};
  const SurveyChartData data = {lengths, 3, {read, nullptr, nullptr}};
  FileHandle file;
  ASSERT_EQ(CreateNewFile(path.c_str(), &file), FileCreated);
  ASSERT_TRUE(WriteSurveyPicture(file, path.c_str(), 301, 200, data));
  std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
  ASSERT_EQ(bytes.size(), kBmpHeaderSize + BmpImageSize(301, 200));
  std::vector<uint8_t> header(kBmpHeaderSize);
  BuildBmpHeaders(301, 200, header.data());
  EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
  // The read curve's colour, rgb(255, 200, 0), stored blue, green, red: the legend has about 100 such pixels.
  size_t readPixels = 0;
  for (size_t at = kBmpHeaderSize; at + 2 < bytes.size(); ++at)
    readPixels += bytes[at] == 0 && bytes[at + 1] == 200 && bytes[at + 2] == 255;
  EXPECT_GT(readPixels, 200u);
  ASSERT_TRUE(std::filesystem::remove(path) && CreateNewFile(path.c_str(), &file) == FileCreated);
  EXPECT_FALSE(WriteSurveyPicture(file, path.c_str(), 0, 200, data));
  EXPECT_FALSE(std::filesystem::exists(path));
}
