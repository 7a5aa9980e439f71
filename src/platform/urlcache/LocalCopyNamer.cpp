#include "platform/urlcache/LocalCopyNamer.h"
