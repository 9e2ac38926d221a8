// Screenshot files: the BMP layout byte by byte, the numbered names, and that
// no file is ever overwritten or left half-written.
#include "app/screenshot_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each test runs in a directory of its own, made the working directory.
class ScreenshotFile : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    directory_ = fs::temp_directory_path() /
                 ("lorvanta-shot-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    fs::current_path(directory_);
  }
  void TearDown() override {
    writePictureBytes = WriteWholeBuffer;
    fs::current_path(previous_);
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  // A 3 x 2 picture: width * 3 = 9 bytes, so every row is filled with 3.
  // The source rows are 16 bytes apart (4 bytes beyond the last pixel).
  static constexpr int32_t kWidth = 3, kHeight = 2;
  uint32_t pixels_[8] = {0x00112233, 0x00445566, 0x00778899, 0xDEADBEEF,   // top row (+ unused word)
                         0xFF0000FF, 0x0000FF00, 0x00FF0000, 0xDEADBEEF};  // bottom row (top byte ignored)
  PixelRows Rows() const { return PixelRows{reinterpret_cast<const uint8_t*>(pixels_), kWidth, kHeight, 16}; }

  fs::path previous_, directory_;
};

TEST_F(ScreenshotFile, LayoutIsHeadersThenPaddedBottomUpBgrRows) {
  std::string name;
  ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "screenshot-0.bmp");
  const std::vector<uint8_t> bytes = ReadFile(name);

  const uint32_t imageSize = 12 * 2;  // ((3 * 24 + 31) / 32) * 4 * 2
  ASSERT_EQ(bytes.size(), 54u + imageSize);
  const std::vector<uint8_t> header = {
      'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // bfType, bfSize, reserved, bfOffBits
      40, 0, 0, 0,                                     // biSize
      3, 0, 0, 0, 2, 0, 0, 0,                          // biWidth, biHeight (positive: bottom-up)
      1, 0, 24, 0,                                     // biPlanes, biBitCount
      0, 0, 0, 0,                                      // BI_RGB
      24, 0, 0, 0,                                     // biSizeImage
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0   // resolutions, colour counts
  };
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 54), header);
  const std::vector<uint8_t> rows = {
      0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0, 0, 0,  // bottom row first, blue green red
      0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0,  // then the top row
  };
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 54, bytes.end()), rows);
}

TEST_F(ScreenshotFile, NumbersCountFromZeroAndFillGapsFirst) {
  std::string name;
  for (const char* expected : {"screenshot-0.bmp", "screenshot-1.bmp", "screenshot-2.bmp"}) {
    ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
    EXPECT_EQ(name, expected);
  }
  fs::remove("screenshot-1.bmp");
  ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "screenshot-1.bmp");
  ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "screenshot-3.bmp");
}

TEST_F(ScreenshotFile, AnExistingFileIsNeverOverwritten) {
  { std::ofstream("screenshot-0.bmp") << "keep"; }
  std::string name;
  ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "screenshot-1.bmp");
  const std::vector<uint8_t> kept = ReadFile("screenshot-0.bmp");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
}

#ifndef _WIN32
TEST_F(ScreenshotFile, AFolderWhereNoFileCanBeCreatedGetsNone) {
  // The working directory is removed under the process: every creation fails
  // with an error other than "exists", which ends the search at once.
  fs::remove(directory_);
  std::string name = "unchanged";
  FileHandle file = 0;
  EXPECT_EQ(CreateNumberedScreenshotFile(&file, &name), FileFailed);
  EXPECT_EQ(file, -1);
  EXPECT_FALSE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "unchanged");
}
#endif

int writeCalls = 0;
int failingCall = 0;  // the write (1-based) that fails
bool FailOneWrite(FileHandle file, const void* bytes, uint32_t byteCount) {
  if (++writeCalls == failingCall) return false;
  return WriteWholeBuffer(file, bytes, byteCount);
}

TEST_F(ScreenshotFile, AFailedWriteLeavesNoFileBehind) {
  writePictureBytes = FailOneWrite;
  for (int failing : {1, 3}) {  // the file header; the pixel data after both headers are on disk
    writeCalls = 0;
    failingCall = failing;
    std::string name;
    EXPECT_FALSE(SaveScreenshotFile(Rows(), &name)) << failing;
    EXPECT_FALSE(fs::exists("screenshot-0.bmp")) << failing;
  }
  // The name is free again for the next picture.
  writePictureBytes = WriteWholeBuffer;
  std::string name;
  ASSERT_TRUE(SaveScreenshotFile(Rows(), &name));
  EXPECT_EQ(name, "screenshot-0.bmp");
  EXPECT_EQ(fs::file_size(name), 78u);
}

TEST_F(ScreenshotFile, APictureTooLargeForTheSizeFieldsIsRefused) {
  // 70000 x 70000 pixels would need about 14.7 GB, beyond bfSize's 32 bits;
  // refused before any pixel is read.
  const PixelRows huge = {nullptr, 70000, 70000, 70000 * 4};
  std::string name;
  EXPECT_FALSE(SaveScreenshotFile(huge, &name));
  EXPECT_FALSE(fs::exists("screenshot-0.bmp"));
}

}  // namespace
