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
