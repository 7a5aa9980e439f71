#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/urlcache/HttpHeaders.h"

using tessarine::urlcache::HttpHeaders;
using namespace std::string_literals;

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct ParseCase {
  const char* what;
  std::string text;
  int status;
  std::string statusLine;
  Fields fields;
};

TEST(HttpHeadersTest, ParsesEveryLineEnding) {
  const std::vector<ParseCase> cases = {
      {"chromium NUL-separated",
       "HTTP/1.1 200 OK\0Content-Type: image/gif\0Content-Length: 83\0\0"s,
       200, "HTTP/1.1 200 OK",
       {{"Content-Type", "image/gif"}, {"Content-Length", "83"}}},
      {"CR LF, body after the empty line ignored",
       "HTTP/1.0 404 Not Found\r\nServer: x\r\n\r\nX-Body: no\r\n", 404,
       "HTTP/1.0 404 Not Found", {{"Server", "x"}}},
      {"bare LF, values trimmed, empty value kept",
       "HTTP/1.1 301 Moved\nLocation:   /img/banner.gif  \nX-Empty:\n", 301,
       "HTTP/1.1 301 Moved", {{"Location", "/img/banner.gif"}, {"X-Empty", ""}}},
      {"folded line joins the field before it",
       "HTTP/1.1 200 OK\r\nX-Long: a\r\n  b\r\n\tc\r\n", 200, "HTTP/1.1 200 OK",
       {{"X-Long", "a b c"}}},
      {"lines without colon or name skipped",
       "HTTP/1.1 200 OK\r\nnonsense\r\n: novalue\r\nA: 1\r\n", 200,
       "HTTP/1.1 200 OK", {{"A", "1"}}},
      {"HTTP/2 status line without reason", "HTTP/2 204\r\n", 204, "HTTP/2 204", {}},
      {"no status line: first line is a field", "Content-Type: text/plain\r\n", 0,
       "", {{"Content-Type", "text/plain"}}},
      {"unreadable status code kept as 0", "HTTP/1.1 2x0 OK\r\nA: b\r\n", 0,
       "HTTP/1.1 2x0 OK", {{"A", "b"}}},
      {"four-digit status is unreadable", "HTTP/1.1 2000 OK\r\n", 0,
       "HTTP/1.1 2000 OK", {}},
      {"blank lines before the head skipped", "\r\n\r\nHTTP/1.1 203 X\r\n", 203,
       "HTTP/1.1 203 X", {}},
      {"empty", "", 0, "", {}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.what);
    const HttpHeaders h = HttpHeaders::parse(c.text);
    EXPECT_EQ(h.status, c.status);
    EXPECT_EQ(h.statusLine, c.statusLine);
    EXPECT_EQ(h.fields, c.fields);
  }
}

TEST(HttpHeadersTest, ValueIsFirstMatchWithoutRegardToCase) {
  const HttpHeaders h = HttpHeaders::parse(
      "HTTP/1.1 200 OK\r\ncontent-ENCODING: gzip\r\nContent-Encoding: br\r\n");
  EXPECT_EQ(h.value("Content-Encoding"), "gzip");
  EXPECT_EQ(h.value("CONTENT-encoding"), "gzip");
  EXPECT_EQ(h.value("Content-Type"), "");
}

TEST(HttpHeadersTest, TextIsCrLfHeadEndingInEmptyLine) {
  const HttpHeaders h = HttpHeaders::parse(
      "HTTP/1.1 200 OK\0Content-Type: image/gif\0ETag:  \"x\"\0\0"s);
  EXPECT_EQ(h.text(),
            "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nETag: \"x\"\r\n\r\n");
  EXPECT_EQ(HttpHeaders::parse(h.text()).fields, h.fields);
  EXPECT_EQ(HttpHeaders().text(), "\r\n");
}

}  // namespace
