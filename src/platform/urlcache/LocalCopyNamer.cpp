#include "platform/urlcache/LocalCopyNamer.h"

#include <QByteArray>
#include <QMimeDatabase>
#include <QMimeType>
#include <QString>
#include <QStringList>

namespace tessarine::urlcache {
namespace {

// Bytes of UTF-8 the base name (before "[N]" and the extension) may take.
constexpr std::size_t kMaxBaseBytes = 120;
// A URL "extension" longer than this is taken as part of the name.
constexpr std::size_t kMaxExtensionBytes = 16;

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The last path segment of `url`, query and fragment dropped, still escaped.
std::string_view lastSegment(std::string_view url) {
  const std::size_t cut = url.find_first_of("?#");
  if (cut != std::string_view::npos) url = url.substr(0, cut);
  std::size_t pathStart = 0;
  const std::size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) {
    const std::size_t slash = url.find('/', scheme + 3);
    if (slash == std::string_view::npos) return {};
    pathStart = slash;
  } else if (const std::size_t colon = url.find(':');
             colon != std::string_view::npos) {
    pathStart = colon + 1;
  }
  const std::string_view path = url.substr(pathStart);
  const std::size_t last = path.find_last_of('/');
  return last == std::string_view::npos ? path : path.substr(last + 1);
}

std::string percentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 &&
        hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  std::size_t len;
  std::uint32_t cp;
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; cp = b0 & 0x1F; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; cp = b0 & 0x0F; }
  else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; cp = b0 & 0x07; }
  else return 0;
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
      (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
    return 0;
  // C1 control characters cannot stand in a name either.
  if (len == 2 && cp < 0xA0) return 0;
  return len;
}

// Replaces, one "_" each, every byte or character that cannot stand in a
// file name on Linux or on a FAT/NTFS copy: separators, NUL and control
// characters, <>:"|?*, and invalid UTF-8.
std::string sanitize(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = utf8SequenceLength(s, i);
    if (len == 0) {
      out += '_';
      ++i;
      continue;
    }
    if (len == 1) {
      const char c = s[i];
      const auto u = static_cast<unsigned char>(c);
      const bool bad = u < 0x20 || u == 0x7F || c == '/' || c == '\\' ||
                       c == '<' || c == '>' || c == ':' || c == '"' ||
                       c == '|' || c == '?' || c == '*';
      out += bad ? '_' : c;
    } else {
      out.append(s.substr(i, len));
    }
    i += len;
  }
  return out;
}

// The first `max` bytes of `s` at most, never splitting a UTF-8 sequence
// (`s` is valid UTF-8 here).
std::string cutUtf8(const std::string& s, std::size_t max) {
  if (s.size() <= max) return s;
  std::size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(0, end);
}

bool isPlainExtension(std::string_view ext) {
  if (ext.empty() || ext.size() > kMaxExtensionBytes) return false;
  for (const char c : ext)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
          (c >= 'A' && c <= 'Z')))
      return false;
  return true;
}

QString qs(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The extension `type` stands for: `urlExt` when it is one of the type's
// suffixes or names a kind of that type (a .docx is a zip), its case kept;
// else the type's preferred suffix; "" when the type names none.
std::string extensionFor(const QMimeDatabase& db, const QMimeType& type,
                         const std::string& urlExt) {
  if (!type.isValid()) return {};
  if (!urlExt.empty()) {
    const QString u = qs(urlExt);
    for (const QString& suffix : type.suffixes())
      if (suffix.compare(u, Qt::CaseInsensitive) == 0) return urlExt;
    for (const QMimeType& t : db.mimeTypesForFileName(QStringLiteral("x.") + u))
      if (t.inherits(type.name())) return urlExt;
  }
  const std::string preferred = type.preferredSuffix().toStdString();
  return isPlainExtension(preferred) ? preferred : std::string();
}

std::string mediaType(std::string_view contentType) {
  const std::size_t semi = contentType.find(';');
  std::string_view t = contentType.substr(0, semi);
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  std::string out(t);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Whether a media type can say anything about the content.
bool isUsefulMedia(const std::string& media) {
  return !media.empty() && media != "application/octet-stream";
}

}  // namespace

const std::string& LocalCopyNamer::typeExtension(const std::string& media,
                                                 const std::string& urlExt) {
  std::string key = media;
  key += '\n';
  key += urlExt;
  const auto it = typeExtensions_.find(key);
  if (it != typeExtensions_.end()) return it->second;
  const QMimeDatabase db;
  return typeExtensions_
      .emplace(std::move(key),
               extensionFor(db, db.mimeTypeForName(qs(media)), urlExt))
      .first->second;
}

bool LocalCopyNamer::needsSniff(std::string_view contentType) {
  const std::string media = mediaType(contentType);
  return !isUsefulMedia(media) || typeExtension(media, {}).empty();
}

std::string LocalCopyNamer::name(std::string_view url,
                                 std::string_view contentType,
                                 std::string_view sniff) {
  std::string segment = sanitize(percentDecode(lastSegment(url)));

  // Split off the URL's own extension before anything is cut.
  std::string base = segment;
  std::string urlExt;
  const std::size_t dot = segment.find_last_of('.');
  if (dot != std::string::npos && dot > 0 &&
      isPlainExtension(std::string_view(segment).substr(dot + 1))) {
    base = segment.substr(0, dot);
    urlExt = segment.substr(dot + 1);
  }

  std::string ext;
  const std::string media = mediaType(contentType);
  if (isUsefulMedia(media)) ext = typeExtension(media, urlExt);
  if (ext.empty() && !sniff.empty()) {
    const QMimeDatabase db;
    const QMimeType sniffed = db.mimeTypeForData(
        QByteArray(sniff.data(), static_cast<qsizetype>(sniff.size())));
    if (!sniffed.isDefault() && sniffed.name() != QLatin1String("text/plain"))
      ext = extensionFor(db, sniffed, urlExt);
  }
  if (ext.empty()) ext = urlExt;

  // Leading dots would hide the copy; a name of dots would climb folders.
  for (char& c : base) {
    if (c != '.') break;
    c = '_';
  }
  base = cutUtf8(base, kMaxBaseBytes);
  if (base.empty()) base = "index";

  std::string lowered = base + "." + ext;
  for (char& c : lowered)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  const int n = ++used_[lowered];
  std::string out = base + "[" + std::to_string(n) + "]";
  if (!ext.empty()) out += "." + ext;
  return out;
}

}  // namespace tessarine::urlcache
