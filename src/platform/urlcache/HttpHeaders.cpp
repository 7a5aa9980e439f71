#include "platform/urlcache/HttpHeaders.h"
