#include "platform/urlcache/UrlCacheView.h"

namespace tessarine::urlcache {

std::shared_ptr<UrlCacheView> UrlCacheView::build(
    const std::vector<std::shared_ptr<Container>>& containers) {
  auto view = std::make_shared<UrlCacheView>();
  for (const auto& container : containers) {
    if (!container) continue;
    std::vector<ContainerEntry> entries = container->enumerate();
    view->urls_.reserve(view->urls_.size() + entries.size());
    view->byUrl_.reserve(view->byUrl_.size() + entries.size());
    for (ContainerEntry& entry : entries) {
      auto [it, fresh] = view->byUrl_.try_emplace(entry.url, view->urls_.size());
      if (fresh) view->urls_.emplace_back();
      Url& url = view->urls_[it->second];
      url.copies.push_back(Copy{container, std::move(entry)});
      if (url.copies.back().entry.lastAccess > url.current().entry.lastAccess)
        url.currentIndex = url.copies.size() - 1;
    }
  }
  view->byLocal_.reserve(view->urls_.size());
  for (std::size_t i = 0; i < view->urls_.size(); ++i) {
    const std::string& local = view->urls_[i].current().entry.localPath;
    if (!local.empty()) view->byLocal_.emplace(local, i);
  }
  return view;
}

const UrlCacheView::Url* UrlCacheView::find(const std::string& url) const {
  const auto it = byUrl_.find(url);
  return it == byUrl_.end() ? nullptr : &urls_[it->second];
}

const UrlCacheView::Copy* UrlCacheView::findLocal(
    const std::string& localPath) const {
  const auto it = byLocal_.find(localPath);
  return it == byLocal_.end() ? nullptr : &urls_[it->second].current();
}

void UrlCacheView::forget(const std::string& url) {
  const auto it = byUrl_.find(url);
  if (it == byUrl_.end()) return;
  byLocal_.erase(urls_[it->second].current().entry.localPath);
  byUrl_.erase(it);
}

}  // namespace tessarine::urlcache
