#include "platform/urlcache/LocalCopyNamer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessarine::urlcache {
namespace {

const std::string kPng("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);

struct NameCase {
  const char* url;
  const char* contentType;
  std::string sniff;
  std::string expected;
};

TEST(LocalCopyNamerTest, NamesOneEntry) {
  const std::string longA(300, 'a');
  std::string longE;
  for (int i = 0; i < 100; ++i) longE += "%C3%A9";
  std::string cutE;
  for (int i = 0; i < 60; ++i) cutE += "\xC3\xA9";
  const std::vector<NameCase> cases = {
      {"http://h/img/noext", "image/png", "", "noext[1].png"},
      {"http://h/thumb.php?id=3", "image/jpeg", "", "thumb[1].jpg"},
      {"http://h/a/logo.gif", "image/gif", "", "logo[1].gif"},
      {"http://h/PHOTO.JPG", "image/jpeg", "", "PHOTO[1].JPG"},
      {"http://h/s/sunset.jpeg", "image/jpeg", "", "sunset[1].jpeg"},
      {"http://h/files/summer%20caf%C3%A9.jpg", "image/jpeg", "",
       "summer caf\xC3\xA9[1].jpg"},
      {"http://h/pics/photo.jpg?v=2#top", "image/jpeg", "", "photo[1].jpg"},
      {"http://h/pages/about.htm", "text/html; charset=utf-8", "", "about[1].htm"},
      {"http://h/", "text/html", "", "index[1].html"},
      {"http://h", "text/html", "", "index[1].html"},
      {"http://h/?q=1", "text/html", "", "index[1].html"},
      {"http://h/missing/gone.png", "text/html", "", "gone[1].html"},
      {"http://h/styles/site.css", "TEXT/CSS", "", "site[1].css"},
      // No useful Content-Type: the content decides, else the URL.
      {"http://h/x/data", "", kPng, "data[1].png"},
      {"http://h/x/pic.jpg", "application/octet-stream", kPng, "pic[1].png"},
      {"http://h/x/file.zip", "", "", "file[1].zip"},
      {"http://h/x/blob", "application/octet-stream", "plain words", "blob[1]"},
      {"http://h/x/page.html", "text/html", kPng, "page[1].html"},
      // What cannot stand in a file name.
      {"http://h/a%2F..%2Fb.gif", "image/gif", "", "a_.._b[1].gif"},
      {"http://h/d/%2E%2E", "image/gif", "", "__[1].gif"},
      {"http://h/d/..", "image/gif", "", "__[1].gif"},
      {"http://h/.hidden", "text/plain", "", "_hidden[1].txt"},
      {"http://h/evil%0A%01name%00.png", "image/png", "", "evil__name_[1].png"},
      {"http://h/a%3Cb%3Ec%3Ad%22e%7Cf%3Fg%2Ah%5Ci.gif", "image/gif", "",
       "a_b_c_d_e_f_g_h_i[1].gif"},
      {"http://h/bad%FFutf8%C2%85.gif", "image/gif", "", "bad_utf8__[1].gif"},
      {"http://h/caf%C3", "text/plain", "", "caf_[1].txt"},
      // Cut to a safe length, never inside a UTF-8 sequence.
      {nullptr, "image/jpeg", "", std::string(120, 'a') + "[1].jpg"},
      {nullptr, "image/jpeg", "", cutE + "[1].jpg"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const NameCase& c = cases[i];
    std::string url = c.url ? c.url : "";
    if (!c.url) url = "http://h/" + (i + 2 == cases.size() ? longA : longE) + ".jpg";
    LocalCopyNamer namer;
    EXPECT_EQ(namer.name(url, c.contentType, c.sniff), c.expected) << url;
  }
}

TEST(LocalCopyNamerTest, CountsPerNameCaseBlind) {
  struct Step {
    const char* url;
    const char* contentType;
    const char* expected;
  };
  const std::vector<Step> steps = {
      {"http://h/a/logo.gif", "image/gif", "logo[1].gif"},
      {"http://h/b/logo.gif", "image/gif", "logo[2].gif"},
      {"http://h/c/LOGO.GIF", "image/gif", "LOGO[3].GIF"},
      {"http://h/d/logo.png", "image/png", "logo[1].png"},
      {"http://h/e/logo", "", "logo[1]"},
      {"http://h/f/logo.gif?x", "image/gif", "logo[4].gif"},
  };
  LocalCopyNamer namer;
  for (const Step& s : steps)
    EXPECT_EQ(namer.name(s.url, s.contentType, ""), s.expected) << s.url;
}

}  // namespace
}  // namespace tessarine::urlcache
