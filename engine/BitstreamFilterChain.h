// A bitstream-filter chain: the filters a stream's packets pass through, in order.
#pragma once

#include <vector>

#include "media/LibOwners.h"

namespace kv {

using TBsfChain = std::vector<BitstreamFilterPtr>;

}  // namespace kv
