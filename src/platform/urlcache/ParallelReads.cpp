#include "platform/urlcache/ParallelReads.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace tessarine::urlcache {
namespace {

// Below this many items per thread, starting one costs more than it saves.
constexpr std::size_t kItemsPerThread = 256;
constexpr unsigned kMaxThreads = 4;
// Items taken at a time, so threads rarely meet on the counter.
constexpr std::size_t kBatch = 32;

}  // namespace

void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads =
      std::min<std::size_t>({kMaxThreads, cores, 1 + count / kItemsPerThread});
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) work(i);
    return;
  }
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex errorMutex;
  const auto run = [&] {
    try {
      for (std::size_t from; !failed && (from = next.fetch_add(kBatch)) < count;)
        for (std::size_t i = from; i < std::min(from + kBatch, count); ++i) work(i);
    } catch (...) {
      const std::lock_guard lock(errorMutex);
      if (!error) error = std::current_exception();
      failed = true;
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(threads - 1);
  for (std::size_t t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(run);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running do it all
    }
  }
  run();
  for (std::thread& h : helpers) h.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace tessarine::urlcache
