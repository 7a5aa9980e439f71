#include "platform/urlcache/UrlCacheConfig.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>

#include "platform/urlcache/msie/MsieContainer.h"
#include "platform/urlcache/chromium/ChromiumSimpleContainer.h"
#include "platform/urlcache/chromium/ChromiumSqlContainer.h"
#include "platform/urlcache/chromium/ChromiumBlockfileContainer.h"
#include "platform/urlcache/firefox/FirefoxCache2Container.h"

namespace fs = std::filesystem;

namespace tessarine::urlcache {
namespace {

std::mutex configMutex;
std::optional<std::vector<std::string>> chosenFolders;
unsigned generation = 0;

std::vector<std::string> splitColons(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t colon = text.find(':', start);
    const std::string part =
        text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!part.empty()) parts.push_back(part);
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return parts;
}

bool isDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// The subfolders of `dir`, sorted so discovery is stable; none on error.
std::vector<fs::path> subfolders(const fs::path& dir) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (it->is_directory(ec2)) out.push_back(it->path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

void addIfDir(std::vector<std::string>& out, const fs::path& p) {
  if (isDir(p)) out.push_back(p.string());
}

// The Chromium-family folders under a ~/.cache-like folder.
const char* const kChromiumBrowsers[] = {
    "chromium",      "google-chrome",  "google-chrome-beta",
    "google-chrome-unstable", "BraveSoftware/Brave-Browser", "microsoft-edge",
    "microsoft-edge-beta", "microsoft-edge-dev", "vivaldi", "opera"};

void addBrowserCaches(std::vector<std::string>& out, const fs::path& cacheHome) {
  for (const char* browser : kChromiumBrowsers)
    for (const fs::path& profile : subfolders(cacheHome / browser))
      addIfDir(out, profile / "Cache" / "Cache_Data");
  for (const fs::path& profile : subfolders(cacheHome / "mozilla" / "firefox"))
    addIfDir(out, profile / "cache2");
}

}  // namespace

void setCacheFolders(const std::vector<std::string>& folders) {
  std::lock_guard lock(configMutex);
  chosenFolders = folders;
  ++generation;
}

void useDefaultCacheFolders() {
  std::lock_guard lock(configMutex);
  chosenFolders.reset();
  ++generation;
}

unsigned configGeneration() {
  std::lock_guard lock(configMutex);
  return generation;
}

std::vector<std::string> cacheFolders() {
  {
    std::lock_guard lock(configMutex);
    if (chosenFolders) return *chosenFolders;
  }
  if (const char* env = std::getenv("TESSARINE_CACHE")) return splitColons(env);
  const char* home = std::getenv("HOME");
  const char* prefix = std::getenv("WINEPREFIX");
  return discoverCacheFolders(home ? home : "", prefix ? prefix : "");
}

std::unique_ptr<Container> openContainer(const std::string& folder) {
  if (!isDir(folder)) return nullptr;
  if (auto c = MsieContainer::open(folder)) return c;
  if (auto c = ChromiumSimpleContainer::open(folder)) return c;
  if (auto c = ChromiumSqlContainer::open(folder)) return c;
  if (auto c = ChromiumBlockfileContainer::open(folder)) return c;
  if (auto c = FirefoxCache2Container::open(folder)) return c;
  return nullptr;
}

std::vector<std::string> discoverCacheFolders(const std::string& home,
                                              const std::string& winePrefix) {
  std::vector<std::string> out;
  if (home.empty() && winePrefix.empty()) return out;
  const fs::path homePath(home);

  // IE containers of every Wine user: cookies first, as WinINet lists them.
  const fs::path prefix = winePrefix.empty() ? homePath / ".wine" : fs::path(winePrefix);
  const std::vector<fs::path> users = subfolders(prefix / "drive_c" / "users");
  for (const fs::path& user : users) {
    addIfDir(out, user / "AppData/Local/Microsoft/Windows/INetCookies");
    addIfDir(out, user / "Cookies");
  }
  for (const fs::path& user : users) {
    addIfDir(out, user / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5");
    addIfDir(out, user / "Local Settings/Temporary Internet Files/Content.IE5");
  }
  if (home.empty()) return out;

  addBrowserCaches(out, homePath / ".cache");
  for (const fs::path& app : subfolders(homePath / ".var" / "app"))
    addBrowserCaches(out, app / "cache");
  for (const fs::path& snap : subfolders(homePath / "snap"))
    addBrowserCaches(out, snap / "common" / ".cache");
  return out;
}

}  // namespace tessarine::urlcache
