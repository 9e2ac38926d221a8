// Windows: there is no hwloc in this build, so the processor's answer stands alone.
#include "platform/cache_view.h"

bool ReadOsCacheTopology(CacheTopology* topology) {
  topology->count = 0;
  topology->source = "none";
  return false;
}
