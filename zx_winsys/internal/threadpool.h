// The thread pool's idle time-out table, replaceable by tests so that shrinking takes
// milliseconds instead of a minute.
#pragma once

#include <stdint.h>

namespace qx {

// Four idle time-outs in milliseconds: the first idle thread waits the first, and so on.
uint32_t *PoolIdleTimeouts();

} // namespace qx
