#include "platform/urlcache/ContentDecoder.h"
