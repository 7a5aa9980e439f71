#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessarine::urlcache {

// A stored HTTP response head: status line and header fields.
struct HttpHeaders {
  int status = 0;          // 0 when the status line is missing or unreadable
  std::string statusLine;  // "HTTP/1.1 200 OK"
  std::vector<std::pair<std::string, std::string>> fields;

  // Parses a response head whose lines end in CR LF, LF or NUL (Chromium
  // stores NUL-separated lines). Never fails: unreadable lines are skipped.
  static HttpHeaders parse(std::string_view text);

  // The first field of that name (case-insensitive), trimmed; "" if none.
  std::string value(std::string_view name) const;

  // The head as raw CR LF text ending in an empty line.
  std::string text() const;
};

}  // namespace tessarine::urlcache
