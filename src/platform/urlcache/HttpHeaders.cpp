#include "platform/urlcache/HttpHeaders.h"

#include <cstddef>

namespace tessarine::urlcache {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (isSpace(s.back()) || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// "HTTP/1.1 200 OK" -> 200; "HTTP/2 404" -> 404; 0 when unreadable.
int statusOf(std::string_view line) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return 0;
  std::size_t i = space;
  while (i < line.size() && line[i] == ' ') ++i;
  if (line.size() - i < 3) return 0;
  int code = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const char c = line[i + k];
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  if (line.size() > i + 3 && !isSpace(line[i + 3])) return 0;
  return code;
}

}  // namespace

HttpHeaders HttpHeaders::parse(std::string_view text) {
  HttpHeaders head;
  bool first = true;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\n' && text[end] != '\0') ++end;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    if (line.empty()) {
      if (first) continue;  // blank lines before the head
      break;                // the empty line ends the head
    }
    if (first) {
      first = false;
      if (line.size() >= 5 && equalsNoCase(line.substr(0, 5), "HTTP/")) {
        head.statusLine = std::string(trim(line));
        head.status = statusOf(head.statusLine);
        continue;
      }
    }
    if (isSpace(line.front())) {  // obsolete line folding
      if (!head.fields.empty()) {
        const std::string_view more = trim(line);
        std::string& value = head.fields.back().second;
        if (!more.empty()) {
          if (!value.empty()) value += ' ';
          value += more;
        }
      }
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = trim(line.substr(0, colon));
    if (name.empty()) continue;
    head.fields.emplace_back(std::string(name),
                             std::string(trim(line.substr(colon + 1))));
  }
  return head;
}

std::string HttpHeaders::value(std::string_view name) const {
  for (const auto& [fieldName, fieldValue] : fields)
    if (equalsNoCase(fieldName, name)) return fieldValue;
  return {};
}

std::string HttpHeaders::text() const {
  std::string out;
  if (!statusLine.empty()) out += statusLine + "\r\n";
  for (const auto& [name, value] : fields) {
    out += name;
    out += ": ";
    out += value;
    out += "\r\n";
  }
  out += "\r\n";
  return out;
}

}  // namespace tessarine::urlcache
