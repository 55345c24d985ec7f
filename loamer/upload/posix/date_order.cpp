#include <langinfo.h>

#include "loamer/upload/meter_clock.h"

namespace loamer {

// The user's LC_TIME, as the program set it up at start.
char UserDateOrder() { return DateOrderFromFormat(nl_langinfo(D_FMT)); }

}  // namespace loamer
