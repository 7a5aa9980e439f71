#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace tessarine {

// The terminal front end over the same code as the windows:
//   list | count | recover --ext .gif,... --out DIR [--empty] | clear [--yes]
// each with --cache DIR (repeatable) in place of $TESSARINE_CACHE.
// Returns the process exit status; writes results to `out`, errors to `err`,
// reads the clear question's answer from `in`.
int runCacheCommand(const std::vector<std::string>& args, std::FILE* in, std::FILE* out,
                    std::FILE* err);

}  // namespace tessarine
