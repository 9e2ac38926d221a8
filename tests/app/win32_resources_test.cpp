// Reads the resources of built Lorvanta.exe files (32- and 64-bit) straight
// from the PE file and checks every one: dialog template, menu tree, icon
// group, version block and manifest, with their language IDs.
//
// usage: win32_resources_test [gtest options] Lorvanta.exe...
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::vector<std::string> exePaths;

typedef std::vector<uint8_t> Bytes;

uint32_t U16(const Bytes& b, size_t at) { return at + 2 <= b.size() ? b[at] | (b[at + 1] << 8) : 0xFFFFFFFF; }
uint32_t U32(const Bytes& b, size_t at) {
  return at + 4 <= b.size() ? b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24) : 0;
}

// A resource's type, numeric ID and language.
typedef std::tuple<uint32_t, uint32_t, uint32_t> ResourceKey;

struct PeFile {
  uint32_t machine = 0;
  uint32_t subsystem = 0;
  std::map<ResourceKey, Bytes> resources;
  std::string error;
};

PeFile ReadPe(const std::string& path) {
  PeFile pe;
  std::ifstream in(path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
    pe.error = "not an MZ executable";
    return pe;
  }
  const size_t header = U32(file, 0x3C);
  if (U32(file, header) != 0x00004550) {
    pe.error = "no PE signature";
    return pe;
  }
  pe.machine = U16(file, header + 4);
  const uint32_t sectionCount = U16(file, header + 6);
  const uint32_t optionalSize = U16(file, header + 20);
  const size_t optional = header + 24;
  const uint32_t magic = U16(file, optional);
  pe.subsystem = U16(file, optional + 68);
  const size_t directories = optional + (magic == 0x20B ? 112 : 96);
  const uint32_t resourceRva = U32(file, directories + 2 * 8);
  struct Section {
    uint32_t rva, size, offset;
  };
  std::vector<Section> sections;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const size_t at = optional + optionalSize + 40 * i;
    sections.push_back(Section{U32(file, at + 12), U32(file, at + 16), U32(file, at + 20)});
  }
  auto offsetOf = [&](uint32_t rva) -> size_t {
    for (const Section& s : sections)
      if (rva >= s.rva && rva < s.rva + s.size) return s.offset + (rva - s.rva);
    return 0;
  };
  const size_t root = offsetOf(resourceRva);
  if (resourceRva == 0 || root == 0) {
    pe.error = "no resource directory";
    return pe;
  }
  // Three levels (type, name, language) of directories; every name here is a
  // number, so a named entry is recorded with ID 0xFFFFFFFF to fail the checks.
  auto entries = [&](size_t directory) {
    std::vector<std::pair<uint32_t, uint32_t>> list;
    const uint32_t count = U16(file, directory + 12) + U16(file, directory + 14);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t name = U32(file, directory + 16 + 8 * i);
      list.emplace_back((name & 0x80000000u) ? 0xFFFFFFFFu : name, U32(file, directory + 20 + 8 * i));
    }
    return list;
  };
  for (auto [type, typeDir] : entries(root)) {
    for (auto [id, idDir] : entries(root + (typeDir & 0x7FFFFFFF))) {
      for (auto [language, leaf] : entries(root + (idDir & 0x7FFFFFFF))) {
        const size_t data = root + leaf;
        const size_t offset = offsetOf(U32(file, data));
        const uint32_t size = U32(file, data + 4);
        if (offset == 0 || offset + size > file.size()) {
          pe.error = "resource data outside the file";
          return pe;
        }
        pe.resources[ResourceKey(type, id, language)] = Bytes(file.begin() + offset, file.begin() + offset + size);
      }
    }
  }
  return pe;
}

// Little-endian UTF-16 text of an ASCII or Latin-1 string.
void PutText(Bytes& out, const std::u16string& text, bool terminate = true) {
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminate) out.insert(out.end(), {0, 0});
}
void Put16(Bytes& out, uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(Bytes& out, uint32_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}); }

// Reads a NUL-terminated UTF-16 string at *at, as UTF-8, and moves past it.
std::string ReadText(const Bytes& b, size_t* at) {
  std::string text;
  for (uint32_t c; (c = U16(b, *at)) != 0 && c != 0xFFFFFFFF; *at += 2) {
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {  // two bytes, right up to U+07FF (the German text); beyond, a wrong character shows
      text += static_cast<char>(0xC0 | ((c >> 6) & 0x1F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  *at += 2;
  return text;
}

// The menu as indented lines: "POPUP label" or "label id [CHECKED]".
void DescribeMenu(const Bytes& b, size_t* at, int depth, std::ostringstream& out) {
  for (;;) {
    const uint32_t flags = U16(b, *at);
    if (flags == 0xFFFFFFFF) return;
    *at += 2;
    out << std::string(2 * depth, ' ');
    if (flags & 0x10) {  // MF_POPUP: no ID, then the sub-menu
      out << "POPUP " << ReadText(b, at);
      if (flags & ~0x90u) out << " flags " << flags;
      out << "\n";
      DescribeMenu(b, at, depth + 1, out);
    } else {
      const uint32_t id = U16(b, *at);
      *at += 2;
      out << ReadText(b, at) << " " << id;
      if (flags & 0x08) out << " CHECKED";
      if (flags & ~0x88u) out << " flags " << flags;
      out << "\n";
    }
    if (flags & 0x80) return;  // MF_END: the last item of this level
  }
}

// One node of a version block: length, value length, type, key, value and
// children, each aligned to 32 bits from the start of the resource.
struct VersionNode {
  std::string key;
  uint32_t type;
  Bytes value;
  std::vector<VersionNode> children;
};

VersionNode ReadVersionNode(const Bytes& b, size_t start) {
  VersionNode node;
  const uint32_t length = U16(b, start), valueLength = U16(b, start + 2);
  node.type = U16(b, start + 4);
  size_t at = start + 6;
  node.key = ReadText(b, &at);
  at = (at + 3) & ~size_t{3};
  const size_t valueBytes = node.type == 1 ? valueLength * 2 : valueLength;  // text values count characters
  node.value.assign(b.begin() + std::min(at, b.size()), b.begin() + std::min(at + valueBytes, b.size()));
  at = (at + valueBytes + 3) & ~size_t{3};
  while (at + 6 <= start + length && at < b.size()) {
    VersionNode child = ReadVersionNode(b, at);
    const uint32_t childLength = U16(b, at);
    if (childLength == 0) break;
    node.children.push_back(child);
    at = (at + childLength + 3) & ~size_t{3};
  }
  return node;
}

std::string TextValue(const Bytes& value) {
  size_t at = 0;
  return ReadText(value, &at);
}

class LorvantaExe : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    pe = ReadPe(GetParam());
    ASSERT_EQ(pe.error, "") << GetParam();
  }
  const Bytes& Resource(uint32_t type, uint32_t id, uint32_t language) {
    static const Bytes none;
    auto found = pe.resources.find(ResourceKey(type, id, language));
    return found == pe.resources.end() ? none : found->second;
  }
  PeFile pe;
};

TEST_P(LorvantaExe, IsAGuiProgramWithExactlyTheProgramsResourcesInTheirLanguages) {
  EXPECT_TRUE(pe.machine == 0x14C || pe.machine == 0x8664) << std::hex << pe.machine;
  EXPECT_EQ(pe.subsystem, 2u) << "not a GUI program";
  std::vector<ResourceKey> expected;
  for (uint32_t image = 1; image <= 8; ++image) expected.emplace_back(3, image, 0x0407);
  expected.insert(expected.end(), {ResourceKey(4, 103, 0x0407), ResourceKey(5, 101, 0x0407),
                                   ResourceKey(14, 102, 0x0407), ResourceKey(16, 1, 0x0407),
                                   ResourceKey(24, 1, 0x0409)});
  std::vector<ResourceKey> found;
  for (const auto& [key, data] : pe.resources) found.push_back(key);
  EXPECT_EQ(found, expected);
}

TEST_P(LorvantaExe, DialogTemplate101IsTheControllessResizableMainWindow) {
  Bytes expected;
  for (uint32_t v : {1u, 0xFFFFu}) Put16(expected, v);  // version 1 of the extended template
  // helpID, exStyle, WS_OVERLAPPEDWINDOW | DS_SETFONT | DS_FIXEDSYS
  for (uint32_t v : {0u, 0u, 0x00CF0048u}) Put32(expected, v);
  // no controls, x, y, cx, cy, menu 103 by number, the default window class
  for (uint32_t v : {0u, 0u, 0u, 456u, 276u, 0xFFFFu, 103u, 0u}) Put16(expected, v);
  PutText(expected, u"Lorvanta");
  for (uint32_t v : {8u, 400u}) Put16(expected, v);  // points, weight
  expected.insert(expected.end(), {0, 1});            // not italic, character set
  PutText(expected, u"MS Shell Dlg");
  Bytes actual = Resource(5, 101, 0x0407);
  while (actual.size() > expected.size() && actual.back() == 0) actual.pop_back();  // alignment padding
  EXPECT_EQ(actual, expected);
}

TEST_P(LorvantaExe, Menu103HasTheWholeTreeWithItsIdsAndInitialCheckMarks) {
  const Bytes& menu = Resource(4, 103, 0x0407);
  ASSERT_GE(menu.size(), 4u);
  EXPECT_EQ(U32(menu, 0), 0u) << "standard menu header";
  size_t at = 4;
  std::ostringstream tree;
  DescribeMenu(menu, &at, 0, tree);
  EXPECT_EQ(tree.str(),
            "POPUP &Einstellungen\n"
            "  POPUP &Block-Schrittweite\n"
            "    1 KB 40026 CHECKED\n"
            "    2 KB 40027\n"
            "    4 KB 40028\n"
            "    8 KB 40029\n"
            "    16 KB 40030\n"
            "  POPUP Testbereichsgr\xC3\xB6\xC3\x9F" "e\n"
            "    1 MB 40031\n"
            "    2 MB 40032 CHECKED\n"
            "    4 MB 40033\n"
            "    8 MB 40034\n"
            "  Energiesparmodus austricksen 40037 CHECKED\n"
            "  Schnelle ungenaue Messung 40041\n"
            "POPUP &Ansicht\n"
            "  POPUP &Aktualisierungsrate\n"
            "    1 Sekunde 40100\n"
            "    2 Sekunden 40101 CHECKED\n"
            "    4 Sekunden 40102\n"
            "    8 Sekunden 40103\n"
            "    Sofort 40104\n"
            "  &Cachebereiche anzeigen 40021\n"
            "  &Screenshot erstellen 40039\n");
  EXPECT_EQ(at, menu.size()) << "bytes after the menu's last item";
}

TEST_P(LorvantaExe, IconGroup102HasEightImagesFrom16To48PixelsIn8And32Bits) {
  const Bytes& group = Resource(14, 102, 0x0407);
  ASSERT_EQ(group.size(), 6u + 8 * 14);
  EXPECT_EQ(U16(group, 0), 0u);
  EXPECT_EQ(U16(group, 2), 1u);  // icons
  EXPECT_EQ(U16(group, 4), 8u);
  const uint32_t sizes[8] = {16, 16, 24, 24, 32, 32, 48, 48};
  const uint32_t bits[8] = {8, 32, 8, 32, 8, 32, 8, 32};
  for (uint32_t i = 0; i < 8; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    const size_t entry = 6 + 14 * i;
    EXPECT_EQ(group[entry], sizes[i]);
    EXPECT_EQ(group[entry + 1], sizes[i]);
    EXPECT_EQ(U16(group, entry + 4), 1u);  // planes
    EXPECT_EQ(U16(group, entry + 6), bits[i]);
    EXPECT_EQ(U16(group, entry + 12), i + 1) << "image resource ID";
    // The image itself: a bitmap of the same size (colour and mask, so
    // twice the height) and depth, as large as the group says.
    const Bytes& image = Resource(3, i + 1, 0x0407);
    EXPECT_EQ(U32(group, entry + 8), image.size());
    EXPECT_EQ(U32(image, 0), 40u);
    EXPECT_EQ(U32(image, 4), sizes[i]);
    EXPECT_EQ(U32(image, 8), 2 * sizes[i]);
    EXPECT_EQ(U16(image, 14), bits[i]);
  }
}

TEST_P(LorvantaExe, VersionResourceHasTheFixedFieldsAndTheGermanStringTableInOrder) {
  const Bytes& version = Resource(16, 1, 0x0407);
  ASSERT_FALSE(version.empty());
  const VersionNode root = ReadVersionNode(version, 0);
  EXPECT_EQ(root.key, "VS_VERSION_INFO");
  ASSERT_EQ(root.value.size(), 52u);
  const uint32_t fixed[13] = {0xFEEF04BD, 0x00010000, 0x00020000, 0x00000004, 0x00020000, 0x00000004, 0x37,
                              0x22,       4,          1,          0,          0,          0};
  for (int i = 0; i < 13; ++i) EXPECT_EQ(U32(root.value, 4 * i), fixed[i]) << "fixed field " << i;

  ASSERT_EQ(root.children.size(), 2u);
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(strings.key, "StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  EXPECT_EQ(strings.children[0].key, "040704b0");
  std::vector<std::pair<std::string, std::string>> table;
  for (const VersionNode& entry : strings.children[0].children) {
    EXPECT_EQ(entry.type, 1u) << entry.key;
    table.emplace_back(entry.key, TextValue(entry.value));
  }
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"FileDescription", "Lorvanta"},     {"FileVersion", "2.0 Alpha 4"},       {"InternalName", "Lorvanta"},
      {"OriginalFilename", "Lorvanta.exe"}, {"ProductName", "Lorvanta"},         {"ProductVersion", "2.0 Alpha 4"},
      {"SpecialBuild", "Alpha 4"}};
  EXPECT_EQ(table, expected);

  const VersionNode& variables = root.children[1];
  EXPECT_EQ(variables.key, "VarFileInfo");
  ASSERT_EQ(variables.children.size(), 1u);
  EXPECT_EQ(variables.children[0].key, "Translation");
  EXPECT_EQ(variables.children[0].value, (Bytes{0x07, 0x04, 0xB0, 0x04}));
}

TEST_P(LorvantaExe, ManifestIsTheEmpty86ByteAssemblyInUsEnglish) {
  const std::string text =
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n</assembly>";
  ASSERT_EQ(text.size(), 86u);
  EXPECT_EQ(Resource(24, 1, 0x0409), Bytes(text.begin(), text.end()));
}

INSTANTIATE_TEST_SUITE_P(Built, LorvantaExe, ::testing::ValuesIn(exePaths), [](const auto& info) {
  return "exe" + std::to_string(info.index);
});

}  // namespace

int main(int argc, char** argv) {
  // The paths first: the parameterised tests are set up from them.
  for (int i = 1; i < argc; ++i)
    if (argv[i][0] != '-') exePaths.push_back(argv[i]);
  ::testing::InitGoogleTest(&argc, argv);
  if (exePaths.empty()) {
    std::fprintf(stderr, "usage: win32_resources_test [gtest options] Lorvanta.exe...\n");
    return 2;
  }
  for (const std::string& path : exePaths) std::printf("checking %s\n", path.c_str());
  return RUN_ALL_TESTS();
}
