#pragma once

#include <cstddef>
#include <functional>

namespace tessarine::urlcache {

// Calls work(i) once for every i below `count`, spread over a few threads
// when there is enough to do (reading thousands of small entry files is
// mostly waiting on system calls, which cores do side by side). Each call
// may run on any thread, in any order; `work` must touch only what is its
// own or read-only. The first exception thrown is rethrown here once every
// thread has stopped.
void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work);

}  // namespace tessarine::urlcache
