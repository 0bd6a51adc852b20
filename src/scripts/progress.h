#pragma once
// How a script run reports its progress: the steps done so far out of the total.

#include <functional>

namespace makeddl::scripts {

using Progress = std::function<void(int done, int total)>;

}  // namespace makeddl::scripts
