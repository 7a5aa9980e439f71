#include "platform/urlcache/SparseRangeAssembler.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <numeric>
#include <string>
#include <string_view>
#include <utility>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {
namespace {

constexpr std::uint64_t kMaxEnd =
    static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// Reads the chosen runs one after another, one piece open at a time.
class PiecedBodyStream : public BodyStream {
 public:
  struct Run {
    SparseRangeAssembler::Opener open;
    std::uint64_t skip;
    std::uint64_t length;
  };
  explicit PiecedBodyStream(std::vector<Run> runs) : runs_(std::move(runs)) {}

  std::int64_t read(char* buf, std::size_t n) override {
    if (failed_) return -1;
    while (next_ < runs_.size() || current_) {
      if (!current_) {
        Run& run = runs_[next_];
        std::uint32_t code = 0;
        current_ = run.open(run.skip, run.length, &code);
        if (!current_) {
          return fail("a stored range of the body cannot be opened (error " +
                      std::to_string(code) + ")");
        }
        remaining_ = run.length;
        run.open = nullptr;  // free what the opener holds
        ++next_;
      }
      if (remaining_ == 0) {
        // Read the piece to its end too: a checked stream tells a bad
        // checksum only there.
        char extra;
        const std::int64_t got = current_->read(&extra, 1);
        if (got < 0) return fail(current_->error());
        if (got > 0)
          return fail("a stored range of the body is longer than its length");
        current_.reset();
        continue;
      }
      if (n == 0) return 0;
      const std::size_t want = static_cast<std::size_t>(
          std::min<std::uint64_t>(n, remaining_));
      const std::int64_t got = current_->read(buf, want);
      if (got < 0) return fail(current_->error());
      if (got == 0)
        return fail("a stored range of the body ends before its length");
      remaining_ -= static_cast<std::uint64_t>(got);
      return got;
    }
    return 0;
  }

  std::string error() const override { return error_; }

 private:
  std::int64_t fail(std::string why) {
    failed_ = true;
    error_ = std::move(why);
    current_.reset();
    return -1;
  }

  std::vector<Run> runs_;
  std::size_t next_ = 0;
  std::unique_ptr<BodyStream> current_;
  std::uint64_t remaining_ = 0;
  bool failed_ = false;
  std::string error_;
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole string of decimal digits that fits in an i64.
std::optional<std::uint64_t> decimal(std::string_view s) {
  if (s.empty() || s.size() > 19) return std::nullopt;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > kMaxEnd) return std::nullopt;
  return v;
}

// The total of "bytes a-b/total" or "bytes */total".
std::optional<std::uint64_t> contentRangeTotal(std::string_view v) {
  v = trim(v);
  constexpr std::string_view kUnit = "bytes";
  if (v.size() <= kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(v[i])) != kUnit[i])
      return std::nullopt;
  if (v[kUnit.size()] != ' ') return std::nullopt;
  const std::size_t slash = v.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view range = trim(v.substr(kUnit.size(), slash - kUnit.size()));
  if (range != "*") {
    const std::size_t dash = range.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const auto first = decimal(range.substr(0, dash));
    const auto last = decimal(range.substr(dash + 1));
    if (!first || !last || *last < *first) return std::nullopt;
    const auto total = decimal(trim(v.substr(slash + 1)));
    if (!total || *last >= *total) return std::nullopt;
    return total;
  }
  return decimal(trim(v.substr(slash + 1)));
}

}  // namespace

bool SparseRangeAssembler::add(std::uint64_t offset, std::uint64_t length,
                               Opener open) {
  if (length == 0 || !open || pieces_.size() >= kMaxPieces ||
      offset > kMaxEnd || length > kMaxEnd - offset)
    return false;
  pieces_.push_back(Piece{offset, length, std::move(open)});
  return true;
}

std::optional<std::vector<SparseRangeAssembler::Segment>>
SparseRangeAssembler::plan(std::uint64_t total) const {
  if (total == 0) return std::nullopt;
  std::vector<std::size_t> order(pieces_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return pieces_[a].offset < pieces_[b].offset;
  });
  std::vector<Segment> segments;
  std::uint64_t pos = 0;
  std::size_t i = 0;
  while (pos < total) {
    // Of the pieces holding byte `pos`, the one that reaches furthest.
    std::optional<std::size_t> best;
    std::uint64_t bestEnd = pos;
    for (; i < order.size() && pieces_[order[i]].offset <= pos; ++i) {
      const Piece& p = pieces_[order[i]];
      const std::uint64_t end = p.offset + p.length;
      if (end > bestEnd) {
        best = order[i];
        bestEnd = end;
      }
    }
    if (!best) return std::nullopt;  // a gap at `pos`
    const std::uint64_t end = std::min(bestEnd, total);
    segments.push_back(Segment{*best, pos - pieces_[*best].offset, end - pos});
    pos = end;
  }
  return segments;
}

bool SparseRangeAssembler::covers(std::uint64_t total) const {
  return plan(total).has_value();
}

std::unique_ptr<BodyStream> SparseRangeAssembler::open(
    std::uint64_t total, std::uint32_t* error) const {
  const auto segments = plan(total);
  if (!segments) {
    if (error) *error = kErrorFileNotFound;
    return nullptr;
  }
  std::vector<PiecedBodyStream::Run> runs;
  runs.reserve(segments->size());
  for (const Segment& s : *segments)
    runs.push_back({pieces_[s.piece].open, s.skip, s.length});
  return std::make_unique<PiecedBodyStream>(std::move(runs));
}

std::optional<std::uint64_t> SparseRangeAssembler::totalLength(
    const HttpHeaders& headers) {
  if (headers.status == 206)
    return contentRangeTotal(headers.value("Content-Range"));
  return decimal(trim(headers.value("Content-Length")));
}

}  // namespace tessarine::urlcache
