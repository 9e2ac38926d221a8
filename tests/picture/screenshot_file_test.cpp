// Screenshot files: the BMP layout byte by byte, the numbered names, and that
// no file is ever overwritten or left half-written.
#include "app/screenshot_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int writeCalls = 0, failingCall = 0;  // the write (1-based) that fails
bool FailOneWrite(FileHandle file, const void* bytes, uint32_t byteCount) {
  return ++writeCalls != failingCall && WriteWholeBuffer(file, bytes, byteCount);
}

// Each test runs in a directory of its own, made the working directory.
class ScreenshotFile : public ::testing::Test {
 protected:
  void SetUp() override { fs::remove_all(directory), fs::create_directories(directory), fs::current_path(directory); }
  void TearDown() override {
    writePictureBytes = WriteWholeBuffer;
    fs::current_path(previous);
    fs::remove_all(directory);
  }
  std::string Save(const PixelRows& rows) {  // the name saved as; "failed" when none, the name left alone
    std::string name;
    return SaveScreenshotFile(rows, &name) ? name : "failed" + name;
  }
  // A 3 x 2 picture: 9 bytes a row padded to 12; the source rows 16 bytes apart, the top byte ignored.
  uint32_t pixels[8] = {0x00112233, 0x00445566, 0x00778899, 0xDEADBEEF, 0xFF0000FF, 0x0000FF00, 0x00FF0000, 0xDEADBEEF};
  const PixelRows rows = {reinterpret_cast<const uint8_t*>(pixels), 3, 2, 16};
  const fs::path previous = fs::current_path();
  const fs::path directory = fs::temp_directory_path() /
                             ("lorvanta-shot-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
};

TEST_F(ScreenshotFile, LayoutIsHeadersThenPaddedBottomUpBgrRows) {
  ASSERT_EQ(Save(rows), "screenshot-0.bmp");
  const std::vector<uint8_t> expected = {
      'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // bfType, bfSize, reserved, bfOffBits
      40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0,             // biSize, biWidth, biHeight (positive: bottom-up)
      1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0,            // biPlanes, biBitCount, BI_RGB, biSizeImage
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // resolutions, colour counts
      0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0, 0, 0,  // bottom row first, blue green red
      0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0};
  EXPECT_EQ(ReadFile("screenshot-0.bmp"), expected);
}

TEST_F(ScreenshotFile, NumbersFillGapsFirstNeverOverwriteAndAFailedOrRefusedWriteLeavesNoFile) {
  writePictureBytes = FailOneWrite;
  for (int failing : {1, 3}) {  // the file header; the pixels after both headers are on disk
    writeCalls = 0, failingCall = failing;
    EXPECT_EQ(Save(rows), "failed") << failing;
    EXPECT_FALSE(fs::exists("screenshot-0.bmp")) << failing;
  }
  // 70000 x 70000 pixels overflow bfSize's 32 bits: refused before any pixel is read.
  EXPECT_EQ(Save(PixelRows{nullptr, 70000, 70000, 70000 * 4}), "failed");
  EXPECT_FALSE(fs::exists("screenshot-0.bmp"));
  writePictureBytes = WriteWholeBuffer;
  { std::ofstream("screenshot-0.bmp") << "keep"; }
  for (const char* expected : {"screenshot-1.bmp", "screenshot-2.bmp", "screenshot-3.bmp", "-", "screenshot-2.bmp",
                               "screenshot-4.bmp"})
    if (expected[0] == '-') fs::remove("screenshot-2.bmp");
    else EXPECT_EQ(Save(rows), expected);
  const std::vector<uint8_t> kept = ReadFile("screenshot-0.bmp");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep");
#ifndef _WIN32
  // A removed working directory fails every creation with an error other than "exists", ending the search at once.
  fs::remove_all(directory);
  FileHandle file = 0;
  std::string name;
  EXPECT_EQ(CreateNumberedScreenshotFile(&file, &name), FileFailed);
  EXPECT_EQ(file, -1);
  EXPECT_EQ(name + Save(rows), "failed");
#endif
}

}  // namespace
