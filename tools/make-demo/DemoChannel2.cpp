#include "Demo.h"

namespace velkor::demo {

DemoChannel DemoChannel2() { return LogicalDemo(1, 2000, 3000); }

}  // namespace velkor::demo
