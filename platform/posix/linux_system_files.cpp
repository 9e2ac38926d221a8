#include "platform/posix/linux_system_files.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace {
// A whole file's decimal number, trailing white space allowed; false for
// anything else ("max", empty, a number with a suffix or too large).
bool ParseWholeNumber(const std::string& text, uint64_t* number) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
  if (errno == ERANGE) return false;
  for (; *end != 0; ++end)
    if (!std::isspace(static_cast<unsigned char>(*end))) return false;
  *number = value;
  return true;
}
}  // namespace

std::string CgroupV2Path(const std::string& procSelfCgroup) {
  for (size_t at = 0; at < procSelfCgroup.size();) {
    size_t end = procSelfCgroup.find('\n', at);
    if (end == std::string::npos) end = procSelfCgroup.size();
    if (procSelfCgroup.compare(at, 3, "0::") == 0 && end > at + 3) return procSelfCgroup.substr(at + 3, end - at - 3);
    at = end + 1;
  }
  return "";
}

std::string CgroupParentPath(const std::string& path) {
  if (path.empty() || path == "/") return "";
  const size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

uint64_t CgroupMemoryRoom(const std::string& memoryMax, const std::string& memoryCurrent) {
  uint64_t limit = 0, current = 0;
  if (!ParseWholeNumber(memoryMax, &limit)) return UINT64_MAX;
  if (!ParseWholeNumber(memoryCurrent, &current)) current = 0;
  return current >= limit ? 0 : limit - current;
}

std::string TransparentHugePageModeOf(const std::string& enabledText) {
  const size_t open = enabledText.find('[');
  const size_t close = open == std::string::npos ? open : enabledText.find(']', open);
  if (close == std::string::npos) return "";
  return enabledText.substr(open + 1, close - open - 1);
}

namespace {
// The text after "name" and its colon on the first line that starts with
// name followed by white space or the colon; "" where no line does.
std::string ValueAfterColon(const std::string& text, const std::string& name) {
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && line.compare(0, name.size(), name) == 0 &&
        line.find_first_not_of(" \t", name.size()) == colon)
      return FirstWordOf(line.substr(colon + 1));
    at = end + 1;
  }
  return "";
}
}  // namespace

std::string MicrocodeOf(const std::string& cpuinfoText) { return ValueAfterColon(cpuinfoText, "microcode"); }

uint64_t MemoryTotalBytesOf(const std::string& meminfoText) {
  // "MemTotal:       16314424 kB": always kibibytes.
  uint64_t kib = 0;
  const std::string value = ValueAfterColon(meminfoText, "MemTotal");
  return ParseWholeNumber(value, &kib) ? kib * 1024 : 0;
}

std::string PrettyNameOf(const std::string& osReleaseText) {
  for (size_t at = 0; at < osReleaseText.size();) {
    size_t end = osReleaseText.find('\n', at);
    if (end == std::string::npos) end = osReleaseText.size();
    if (osReleaseText.compare(at, 12, "PRETTY_NAME=") == 0) {
      std::string value = osReleaseText.substr(at + 12, end - at - 12);
      // Shell quoting: the value in double or single quotes, or bare.
      if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
      return value;
    }
    at = end + 1;
  }
  return "";
}

std::string FirstWordOf(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_first_of(" \t\r\n", first) - first);
}

uint32_t CountInSysfsList(const std::string& listText) {
  // Ranges "a-b" and single numbers, separated by commas.
  const std::string list = FirstWordOf(listText);
  uint32_t count = 0;
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find(',', at);
    if (end == std::string::npos) end = list.size();
    const std::string item = list.substr(at, end - at);
    const size_t dash = item.find('-');
    uint64_t low = 0, high = 0;
    if (!ParseWholeNumber(item.substr(0, dash), &low)) return 0;
    if (dash == std::string::npos) high = low;
    else if (!ParseWholeNumber(item.substr(dash + 1), &high) || high < low) return 0;
    count += static_cast<uint32_t>(high - low + 1);
    at = end + 1;
  }
  return count;
}
