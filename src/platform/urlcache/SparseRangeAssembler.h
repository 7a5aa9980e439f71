#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/urlcache/BodyStream.h"
#include "platform/urlcache/HttpHeaders.h"

namespace tessarine::urlcache {

// Puts a resource's body together from byte ranges a cache stored apart
// (media fetched with range requests). Pieces may come in any order, abut,
// overlap or repeat; each byte of the result is read from exactly one piece.
// Where pieces overlap, a piece once chosen is read to its end; the body
// then goes on from the piece that reaches furthest among those holding the
// next byte (the earliest added on a tie), so switches are few. Bytes at or
// past the total length are ignored (a piece reaching past it is cut).
// Memory is bounded by the number of pieces (at most kMaxPieces), never by
// their size: only one piece is open at a time.
class SparseRangeAssembler {
 public:
  // Opens `length` bytes of a piece starting `skip` bytes into it. The
  // stream must yield exactly those bytes and then its end (shorter or
  // longer is an error; it is read to its end, where a checked stream
  // reports a bad checksum); nullptr with *error set (Win32 code) when the piece cannot be opened.
  using Opener = std::function<std::unique_ptr<BodyStream>(
      std::uint64_t skip, std::uint64_t length, std::uint32_t* error)>;

  // More pieces than this are refused: no real cache splits one resource so
  // finely, and the plan of the body stays small.
  static constexpr std::size_t kMaxPieces = 1u << 20;

  // Adds the resource bytes [offset, offset + length), read through `open`.
  // False (nothing added) for an empty piece, one whose end overflows 64
  // bits or goes past INT64_MAX, a null opener, or beyond kMaxPieces.
  bool add(std::uint64_t offset, std::uint64_t length, Opener open);

  // The number of pieces added.
  std::size_t pieceCount() const { return pieces_.size(); }

  // Whether the pieces together hold every byte of [0, total). A total of 0
  // is covered by nothing and counts as not covered: there is no body.
  bool covers(std::uint64_t total) const;

  // A stream of the bytes [0, total) in order, pieced together; nullptr
  // with *error = kErrorFileNotFound when covers(total) is false. A piece
  // that fails to open or ends early makes read() fail.
  std::unique_ptr<BodyStream> open(std::uint64_t total,
                                   std::uint32_t* error) const;

  // The full length of the resource as its stored headers give it: the
  // total of Content-Range "bytes a-b/total" for a 206, Content-Length for
  // any other status. nullopt when the headers do not say (or say "*").
  static std::optional<std::uint64_t> totalLength(const HttpHeaders& headers);

 private:
  struct Piece {
    std::uint64_t offset;
    std::uint64_t length;
    Opener open;
  };
  // One run of the result: `length` bytes from piece `piece`, `skip` in.
  struct Segment {
    std::size_t piece;
    std::uint64_t skip;
    std::uint64_t length;
  };
  // The runs that make up [0, total), or nullopt when a byte is missing.
  std::optional<std::vector<Segment>> plan(std::uint64_t total) const;

  std::vector<Piece> pieces_;
};

}  // namespace tessarine::urlcache
