#include "platform/urlcache/msie/WineCodePage.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/urlcache/msie/AnsiTextDecoder.h"

namespace tessarine::urlcache::msie {
namespace {

// system.reg is a few MiB at most; anything larger is not read.
constexpr std::uintmax_t kMaxRegistrySize = 64ull * 1024 * 1024;

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

std::optional<std::string> WineCodePage::fromSystemReg(std::string_view text) {
  // Key lines look like: [System\\CurrentControlSet\\Control\\Nls\\CodePage] 1700000000
  const std::string wanted = "[system\\\\currentcontrolset\\\\control\\\\nls\\\\codepage]";
  bool inKey = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (!line.empty() && line.front() == '[') {
      inKey = lower(line).rfind(wanted, 0) == 0;
      continue;
    }
    if (!inKey) continue;
    const std::string l = lower(line);
    if (l.rfind("\"acp\"=\"", 0) != 0) continue;
    const std::string_view value = line.substr(7);
    const std::size_t close = value.find('"');
    if (close == std::string_view::npos || close == 0 || close > 5)
      return std::nullopt;
    const std::string_view digits = value.substr(0, close);
    for (char c : digits)
      if (c < '0' || c > '9') return std::nullopt;
    if (digits == "65001") return std::string("UTF-8");
    return "CP" + std::string(digits);
  }
  return std::nullopt;
}

std::optional<std::string> WineCodePage::forFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path dir = fs::absolute(fs::path(folder), ec).lexically_normal();
  if (ec) return std::nullopt;
  // Walk up, at most as many levels as the path has.
  for (int guard = 0; guard < 256; ++guard) {
    const fs::path reg = dir / "system.reg";
    if (fs::is_directory(dir / "drive_c", ec) && fs::is_regular_file(reg, ec)) {
      const std::uintmax_t size = fs::file_size(reg, ec);
      if (ec || size > kMaxRegistrySize) return std::nullopt;
      std::ifstream in(reg, std::ios::binary);
      std::ostringstream text;
      text << in.rdbuf();
      auto cp = fromSystemReg(text.str());
      if (cp && AnsiTextDecoder::isSupported(*cp)) return cp;
      return std::nullopt;
    }
    if (!dir.has_parent_path() || dir.parent_path() == dir) break;
    dir = dir.parent_path();
  }
  return std::nullopt;
}

}  // namespace tessarine::urlcache::msie
