#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/urlcache/Container.h"
#include "platform/urlcache/HttpHeaders.h"
#include "platform/urlcache/SparseRangeAssembler.h"

namespace tu = tessarine::urlcache;

namespace {

// Bytes of a string, handed out in small reads.
class StringStream : public tu::BodyStream {
 public:
  explicit StringStream(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t read(char* buf, std::size_t n) override {
    n = std::min<std::size_t>({n, bytes_.size() - pos_, 7});
    bytes_.copy(buf, n, pos_);
    pos_ += n;
    return static_cast<std::int64_t>(n);
  }
  std::string error() const override { return {}; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
};

std::string resource(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
  return s;
}

struct Range {
  std::uint64_t offset, length;
};

// Adds pieces cut from `data`; counts every byte an opener hands out.
struct Fixture {
  std::string data;
  tu::SparseRangeAssembler a;
  std::uint64_t opened = 0;
  void add(const std::vector<Range>& ranges) {
    for (const Range& r : ranges) {
      const std::string piece = r.offset < data.size()
                                    ? data.substr(r.offset, r.length)
                                    : std::string();
      a.add(r.offset, r.length,
            [this, piece](std::uint64_t skip, std::uint64_t length,
                          std::uint32_t*) -> std::unique_ptr<tu::BodyStream> {
              opened += length;
              return std::make_unique<StringStream>(
                  skip < piece.size() ? piece.substr(skip, length) : "");
            });
    }
  }
};

std::optional<std::string> readAll(tu::BodyStream& s) {
  std::string out;
  char buf[11];
  while (true) {
    const std::int64_t got = s.read(buf, sizeof buf);
    if (got < 0) return std::nullopt;
    if (got == 0) return out;
    out.append(buf, static_cast<std::size_t>(got));
  }
}

TEST(SparseRangeAssembler, CoverageAndBytes) {
  struct Case {
    const char* what;
    std::uint64_t total;
    std::vector<Range> ranges;
    bool covered;
  };
  const std::vector<Case> cases = {
      {"one whole piece", 100, {{0, 100}}, true},
      {"abutting, out of order", 100, {{60, 40}, {0, 30}, {30, 30}}, true},
      {"the fixture's split first range", 65536, {{0, 3783}, {3783, 61753}}, true},
      {"overlaps", 100, {{0, 50}, {40, 30}, {20, 80}}, true},
      {"duplicates", 100, {{0, 100}, {0, 100}, {0, 100}}, true},
      {"piece inside another", 100, {{10, 5}, {0, 100}, {50, 10}}, true},
      {"piece past the total is cut", 100, {{0, 60}, {50, 500}}, true},
      {"pieces wholly past the total ignored", 50, {{0, 50}, {50, 10}, {200, 5}}, true},
      {"gap in the middle", 100, {{0, 50}, {51, 49}}, false},
      {"head missing", 100, {{1, 99}}, false},
      {"tail missing", 100, {{0, 99}}, false},
      {"the fixture's sparse ranges", 200000,
       {{0, 3783}, {3783, 61753}, {150001, 20000}}, false},
      {"nothing", 100, {}, false},
      {"zero total", 0, {{0, 10}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f;
    f.data = resource(static_cast<std::size_t>(c.total));
    f.add(c.ranges);
    EXPECT_EQ(f.a.covers(c.total), c.covered);
    std::uint32_t error = 0;
    auto s = f.a.open(c.total, &error);
    if (!c.covered) {
      EXPECT_EQ(s, nullptr);
      EXPECT_EQ(error, tu::kErrorFileNotFound);
      continue;
    }
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(readAll(*s), f.data);
    EXPECT_EQ(f.opened, c.total);  // each byte read once
  }
}

TEST(SparseRangeAssembler, OverlapsReadEachByteFromOnePiece) {
  struct Case {
    const char* what;
    std::vector<std::pair<Range, char>> pieces;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"first piece read to its end", {{{0, 4}, 'a'}, {{2, 6}, 'b'}}, "aaaabbbb"},
      {"longer piece wins", {{{0, 3}, 'a'}, {{0, 8}, 'b'}}, "bbbbbbbb"},
      {"tie: first added", {{{0, 8}, 'a'}, {{0, 8}, 'b'}}, "aaaaaaaa"},
      {"three layers", {{{0, 2}, 'a'}, {{1, 4}, 'b'}, {{3, 5}, 'c'}}, "aabbbccc"},
      {"furthest of those holding the next byte",
       {{{0, 2}, 'a'}, {{1, 3}, 'b'}, {{2, 6}, 'c'}, {{1, 6}, 'd'}}, "aacccccc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tu::SparseRangeAssembler a;
    for (const auto& [r, fill] : c.pieces) {
      a.add(r.offset, r.length,
            [fill](std::uint64_t, std::uint64_t length, std::uint32_t*) {
              return std::make_unique<StringStream>(
                  std::string(static_cast<std::size_t>(length), fill));
            });
    }
    auto s = a.open(c.body.size(), nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(readAll(*s), c.body);
  }
}

TEST(SparseRangeAssembler, RefusesBadPieces) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  constexpr std::uint64_t kI64 = std::numeric_limits<std::int64_t>::max();
  auto opener = [](std::uint64_t, std::uint64_t, std::uint32_t*) {
    return std::make_unique<StringStream>("");
  };
  struct Case {
    std::uint64_t offset, length;
    bool added;
  } const cases[] = {
      {0, 0, false},       {5, 0, false},    {kMax, 1, false},
      {1, kMax, false},    {kI64, 1, false}, {0, kI64, true},
      {kI64 - 1, 1, true}, {0, 1, true},
  };
  for (const Case& c : cases) {
    tu::SparseRangeAssembler a;
    EXPECT_EQ(a.add(c.offset, c.length, opener), c.added)
        << c.offset << "+" << c.length;
  }
  tu::SparseRangeAssembler a;
  EXPECT_FALSE(a.add(0, 1, nullptr));
  EXPECT_EQ(a.pieceCount(), 0u);
  EXPECT_FALSE(a.covers(kI64));
}

TEST(SparseRangeAssembler, BrokenPiecesFailTheRead) {
  struct Case {
    const char* what;
    bool opens;
    std::size_t hands;  // bytes the piece's stream really has
  } const cases[] = {
      {"cannot be opened", false, 0},
      {"ends early", true, 5},
      {"empty", true, 0},
      {"longer than its length", true, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tu::SparseRangeAssembler a;
    a.add(0, 10, [](std::uint64_t, std::uint64_t, std::uint32_t*) {
      return std::make_unique<StringStream>(std::string(10, 'x'));
    });
    a.add(10, 10,
          [c](std::uint64_t, std::uint64_t,
              std::uint32_t* error) -> std::unique_ptr<tu::BodyStream> {
            if (!c.opens) {
              *error = tu::kErrorSharingViolation;
              return nullptr;
            }
            return std::make_unique<StringStream>(std::string(c.hands, 'y'));
          });
    auto s = a.open(20, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(readAll(*s), std::nullopt);
    EXPECT_FALSE(s->error().empty());
    char b;
    EXPECT_EQ(s->read(&b, 1), -1);  // stays failed
  }
}

TEST(SparseRangeAssembler, TotalLengthFromHeaders) {
  struct Case {
    const char* head;
    std::optional<std::uint64_t> total;
  } const cases[] = {
      {"HTTP/1.1 200 OK\nContent-Length: 83\n", 83},
      {"HTTP/1.1 200 OK\nContent-Length:  0 \n", 0},
      {"HTTP/1.1 200 OK\n", std::nullopt},
      {"HTTP/1.1 200 OK\nContent-Length: -4\n", std::nullopt},
      {"HTTP/1.1 200 OK\nContent-Length: 12a\n", std::nullopt},
      {"HTTP/1.1 200 OK\nContent-Length: 99999999999999999999\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes 0-65535/200000\n"
       "Content-Length: 200000\n", 200000},
      {"HTTP/1.1 206 Partial Content\ncontent-range: BYTES 5-5/6\n", 6},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes */300\n", 300},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes 0-9/*\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes 0-10/10\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes 9-3/10\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Range: items 0-1/2\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Range: bytes 0-1\n", std::nullopt},
      {"HTTP/1.1 206 Partial Content\nContent-Length: 200000\n", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tu::SparseRangeAssembler::totalLength(tu::HttpHeaders::parse(c.head)),
              c.total)
        << c.head;
  }
}

}  // namespace
