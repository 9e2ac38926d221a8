// Windows: there is no hwloc in this build, so the processor's answer stands alone.
#include "platform/survey/cache_view.h"

bool ReadOsCacheView(OsCacheView* view) {
  view->count = 0;
  view->source = "none";
  return false;
}
