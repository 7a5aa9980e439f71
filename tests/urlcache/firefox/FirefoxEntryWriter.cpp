#include "urlcache/firefox/FirefoxEntryWriter.h"

#include <fstream>
#include <iterator>

#include <QByteArray>
#include <QCryptographicHash>

#include "platform/urlcache/firefox/JenkinsHash.h"

namespace tessarine::urlcache::test {
namespace {

void be32(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

constexpr std::size_t kChunk = 262144;

}  // namespace

std::string FirefoxEntryWriter::fileName() const {
  return QCryptographicHash::hash(QByteArray::fromStdString(key),
                                  QCryptographicHash::Sha1)
      .toHex()
      .toUpper()
      .toStdString();
}

std::string FirefoxEntryWriter::bytes() const {
  std::string meta(4, '\0');
  const long chunks =
      static_cast<long>((data.size() + kChunk - 1) / kChunk) + chunkHashDelta;
  for (long i = 0; i < chunks; ++i) {
    const std::size_t start = static_cast<std::size_t>(i) * kChunk;
    const std::string_view chunk =
        start < data.size() ? std::string_view(data).substr(start, kChunk)
                            : std::string_view();
    const std::uint32_t h = jenkinsHash(chunk) & 0xFFFF;
    meta += static_cast<char>(h >> 8);
    meta += static_cast<char>(h);
  }
  be32(meta, version);
  be32(meta, 1);           // fetch count
  be32(meta, 1796994730);  // last fetched
  be32(meta, 1796994729);  // last modified
  be32(meta, 12345);       // frecency
  be32(meta, 0xFFFFFFFF);  // expiration
  be32(meta, static_cast<std::uint32_t>(static_cast<long>(key.size()) + keySizeDelta));
  if (version != 1) be32(meta, 0);  // flags
  meta += key;
  meta += '\0';
  for (const auto& [name, value] : elements) {
    meta += name;
    meta += '\0';
    meta += value;
    meta += '\0';
  }
  if (dropLastNul && !meta.empty()) meta.pop_back();
  const std::uint32_t sum = jenkinsHash(std::string_view(meta).substr(4));
  meta[0] = static_cast<char>(sum >> 24);
  meta[1] = static_cast<char>(sum >> 16);
  meta[2] = static_cast<char>(sum >> 8);
  meta[3] = static_cast<char>(sum);

  std::string out = data + meta;
  const std::uint32_t d = static_cast<std::uint32_t>(data.size());
  const std::uint32_t tv = trailerVersion ? trailerVersion : version;
  if (tv >= 4) {
    be32(out, tv);
    be32(out, d | (encrypted ? 0x80000000u : 0));
  } else {
    be32(out, d);
  }
  return out;
}

std::string FirefoxEntryWriter::writeInto(const std::string& dir) const {
  const std::string path = dir + "/" + fileName();
  writeFile(path, bytes());
  return path;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tessarine::urlcache::test
