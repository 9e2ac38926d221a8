// The survey's picture files: the same chart in each format its extension
// names, each file checked by a reader of that format; no file left behind
// when a picture cannot be written. Windows writes BMP and PNG only.
#include "app/sweep/survey_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/screenshot_file.h"

namespace {

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(std::ifstream(path, std::ios::binary).rdbuf()), {});
}

uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

#ifndef _WIN32
// What a shell command prints, its output's first 4 KiB.
std::string CommandOutput(const std::string& command) {
  char text[4096] = {};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "";
  const size_t length = std::fread(text, 1, sizeof text - 1, pipe);
  pclose(pipe);
  return std::string(text, length);
}
#endif

}  // namespace

TEST(SurveyPicture, EachExtensionGivesItsFormatReadableAtTheAskedSizeOrNoFileAtAll) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path();
  const uint64_t lengths[3] = {2048, 65536, 4194304}, read[3] = {100000000000, 60000000000, 20000000000};
  const SurveyChartData data = {lengths, 3, {read, nullptr, nullptr}};
  const struct {
    const char* name;
    bool writableOnWindows;
  } rows[] = {{"lorvanta-picture-test.bmp", true}, {"lorvanta-picture-test.PNG", true},
              {"lorvanta-picture-test.svg", false}, {"lorvanta-picture-test.Pdf", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::filesystem::path path = dir / row.name;
    const std::string name = path.string();
    std::filesystem::remove(path);
    PictureFormat format;
    std::string error;
    ASSERT_TRUE(PictureFormatFromPath(name, &format, &error));
#ifdef _WIN32
    ASSERT_EQ(PictureFormatWritable(format, &error), row.writableOnWindows);
    if (!row.writableOnWindows) continue;
#endif
    FileHandle file;
    ASSERT_EQ(CreateNewFile(name.c_str(), &file), FileCreated);
    ASSERT_TRUE(WriteSurveyPicture(file, name.c_str(), format, 301, 200, data));
    const std::vector<uint8_t> bytes = FileBytes(path);
    const std::string extension = path.extension().string();
    if (extension == ".bmp") {
      ASSERT_EQ(bytes.size(), kBmpHeaderSize + BmpImageSize(301, 200));
      std::vector<uint8_t> header(kBmpHeaderSize);
      BuildBmpHeaders(301, 200, header.data());
      EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
      // The read curve's colour, rgb(255, 200, 0), stored blue, green, red: the legend has about 100 such pixels.
      size_t readPixels = 0;
      for (size_t at = kBmpHeaderSize; at + 2 < bytes.size(); ++at)
        readPixels += bytes[at] == 0 && bytes[at + 1] == 200 && bytes[at + 2] == 255;
      EXPECT_GT(readPixels, 200u);
    } else if (extension == ".PNG") {
      // The signature, then the IHDR chunk: length 13, type, width, height.
      const std::string start(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 16));
      ASSERT_EQ(start, std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16));
      EXPECT_EQ(BigEndian32(bytes, 16), 301u);
      EXPECT_EQ(BigEndian32(bytes, 20), 200u);
#ifndef _WIN32
    } else if (extension == ".svg") {
      EXPECT_EQ(CommandOutput("python3 -c 'import sys, xml.etree.ElementTree as t; r = t.parse(sys.argv[1]).getroot(); "
                              "print(r.tag, r.get(\"width\"), r.get(\"height\"))' " + name),
                "{http://www.w3.org/2000/svg}svg 301px 200px\n");
    } else {
      EXPECT_NE(CommandOutput("pdfinfo " + name + " | grep '^Page size: *301 x 200 pts$'"), "");
      // The axis labels are text in the document, not pixels.
      const std::string text = CommandOutput("pdftotext " + name + " -");
      EXPECT_NE(text.find("512 KiB"), std::string::npos) << text;
#endif
    }
    // A picture that cannot be made leaves no file.
    ASSERT_TRUE(std::filesystem::remove(path) && CreateNewFile(name.c_str(), &file) == FileCreated);
    EXPECT_FALSE(WriteSurveyPicture(file, name.c_str(), format, 0, 200, data));
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}
