#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/urlcache/Container.h"

namespace tessarine::urlcache {

// One snapshot of every served container: each URL once, the most recently
// used copy standing for it, in the order the URLs were first met.
class UrlCacheView {
 public:
  struct Copy {
    std::shared_ptr<Container> container;  // kept alive with the snapshot
    ContainerEntry entry;
  };
  struct Url {
    std::vector<Copy> copies;  // every copy, in enumeration order
    std::size_t currentIndex = 0;
    // The copy that stands for the URL.
    const Copy& current() const { return copies[currentIndex]; }
  };

  // Enumerates `containers` (nullptr slots skipped) in order.
  static std::shared_ptr<UrlCacheView> build(
      const std::vector<std::shared_ptr<Container>>& containers);

  const std::vector<Url>& urls() const { return urls_; }
  // The URL's record, or nullptr.
  const Url* find(const std::string& url) const;
  // The copy whose local path is `localPath`, or nullptr.
  const Copy* findLocal(const std::string& localPath) const;
  // Removes the URL from find() and findLocal(); urls() keeps it, so an
  // enumeration under way goes on unchanged.
  void forget(const std::string& url);

 private:
  std::vector<Url> urls_;
  std::unordered_map<std::string, std::size_t> byUrl_;
  std::unordered_map<std::string, std::size_t> byLocal_;
};

}  // namespace tessarine::urlcache
