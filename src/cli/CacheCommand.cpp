#include "cli/CacheCommand.h"

#include <cinttypes>
#include <memory>

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "cache/CacheWalk.h"
#include "cache/EntryBuffer.h"
#include "platform/Error.h"
#include "platform/urlcache/UrlCacheConfig.h"
#include "recovery/EmptyFolder.h"
#include "recovery/RecoverCacheFiles.h"
#include "shell/FileInfoList.h"

namespace tessarine {
namespace {

const char kUsage[] =
    "usage: tessarine-cache COMMAND [--cache DIR]...\n"
    "commands:\n"
    "  list                                 every cache entry: URL, type, local file, size\n"
    "  count                                the number of cache entries\n"
    "  recover --ext .gif,.png,... --out DIR [--empty]\n"
    "                                       copy the cached files of those extensions to DIR\n"
    "  clear [--yes]                        delete every cache entry except cookies\n"
    "--cache DIR names a cache folder to read (repeatable); without it, $TESSARINE_CACHE\n"
    "(folders separated by ':') or the caches of the current user are read.\n";

struct Options {
  std::string command;
  std::vector<std::string> caches;
  QStringList exts;
  QString out;
  bool empty = false;
  bool yes = false;
};

bool parse(const std::vector<std::string>& args, Options& o, std::string& problem) {
  if (args.empty()) {
    problem = "no command given";
    return false;
  }
  o.command = args[0];
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) {
        problem = a + " needs a value";
        return false;
      }
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--cache") {
      if (!value(v)) return false;
      o.caches.push_back(v);
    } else if (a == "--ext" && (o.command == "recover")) {
      if (!value(v)) return false;
      for (const QString& e : QString::fromStdString(v).split(',', Qt::SkipEmptyParts))
        o.exts << (e.startsWith('.') ? e : '.' + e).toLower();
    } else if (a == "--out" && o.command == "recover") {
      if (!value(v)) return false;
      o.out = QString::fromStdString(v);
    } else if (a == "--empty" && o.command == "recover") {
      o.empty = true;
    } else if (a == "--yes" && o.command == "clear") {
      o.yes = true;
    } else {
      problem = "unknown option " + a;
      return false;
    }
  }
  if (o.command == "recover" && (o.exts.isEmpty() || o.out.isEmpty())) {
    problem = "recover needs --ext and --out";
    return false;
  }
  if (o.command != "list" && o.command != "count" && o.command != "recover" &&
      o.command != "clear") {
    problem = "unknown command " + o.command;
    return false;
  }
  return true;
}

// The local file of an entry, with a buffer as large as the entry needs.
std::string localFileOf(UrlCacheApi& api, const char* url) {
  DWORD size = kEntryBufferSize;
  for (int attempt = 0; attempt < 2; ++attempt) {
    EntryBuffer buffer(size);
    const BOOL ok = api.retrieve(url, buffer.info(), &size);
    const DWORD error = ok ? 0 : api.lastError();
    api.unlock(url);
    if (ok) return buffer.info()->lpszLocalFileName ? buffer.info()->lpszLocalFileName : "";
    if (error != ERROR_INSUFFICIENT_BUFFER || size <= buffer.size()) break;
  }
  return {};
}

class PrintingListener : public RecoveryListener {
 public:
  PrintingListener(QString folder, std::FILE* out) : folder_(std::move(folder)), out_(out) {}
  QString outputFolder() override { return folder_; }
  void fileRecovered(const RecoveredFile& file) override {
    std::fprintf(out_, "%s\n", file.record.toUtf8().constData());
  }

 private:
  QString folder_;
  std::FILE* out_;
};

int list(UrlCacheApi& api, std::FILE* out) {
  walkUrlCache(
      api,
      [&](const INTERNET_CACHE_ENTRY_INFOA& e) {
        const char* url = e.lpszSourceUrlName ? e.lpszSourceUrlName : "";
        const std::string local = localFileOf(api, url);
        const std::uint64_t size = (std::uint64_t(e.dwSizeHigh) << 32) | e.dwSizeLow;
        std::fprintf(out, "%s\t0x%08" PRIx32 "\t%s\t%" PRIu64 "\n", url, e.CacheEntryType,
                     local.empty() ? "-" : local.c_str(), size);
        return true;
      },
      {});
  return 0;
}

int recover(UrlCacheApi& api, const Options& o, std::FILE* out, std::FILE* err) {
  if (!QDir().mkpath(o.out)) {
    std::fprintf(err, "tessarine-cache: cannot create folder %s\n", o.out.toUtf8().constData());
    return 1;
  }
  const QString folder = safeOutputFolder(o.out, o.out);
  if (folder != o.out || QFileInfo(o.out).canonicalFilePath() == "/") {
    std::fprintf(err, "tessarine-cache: refusing to write into the root folder\n");
    return 2;
  }
  if (o.empty) emptyOutputFolder(folder, QString());
  fileInfoList().clear();
  PrintingListener listener(folder, out);
  const QString reg = folder + "/GetFileInfo.ini";
  try {
    const int count = RecoverCacheFiles(api, o.exts, listener, {});
    std::fprintf(out, "Total get: %d files.\n", count);
    saveRegister(reg, fileInfoList());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(err, "tessarine-cache: %s\n", e.what());
    try {
      saveRegister(reg, fileInfoList());
    } catch (const std::exception& e2) {
      std::fprintf(err, "tessarine-cache: %s\n", e2.what());
    }
    return 1;
  }
}

int clear(UrlCacheApi& api, const Options& o, std::FILE* in, std::FILE* out) {
  if (!o.yes) {
    std::fprintf(out, "Delete Temporary Internet Files Now? [y/N] ");
    std::fflush(out);
    char answer[16] = {};
    if (!in || !std::fgets(answer, sizeof answer, in) || (answer[0] != 'y' && answer[0] != 'Y'))
      return 0;
  }
  ClearCacheEntries(api, {});
  return 0;
}

}  // namespace

int runCacheCommand(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                    std::FILE* err) {
  Options o;
  std::string problem;
  if (!parse(args, o, problem)) {
    std::fprintf(err, "tessarine-cache: %s\n%s", problem.c_str(), kUsage);
    return 2;
  }
  if (!o.caches.empty()) urlcache::setCacheFolders(o.caches);
  UrlCacheApi& api = systemUrlCache();
  if (o.command == "list") return list(api, out);
  if (o.command == "count") {
    std::fprintf(out, "%d\n", CountCacheEntries(api, {}));
    return 0;
  }
  if (o.command == "recover") return recover(api, o, out, err);
  return clear(api, o, in, out);
}

}  // namespace tessarine
