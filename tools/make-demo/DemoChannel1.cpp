#include "Demo.h"

namespace velkor::demo {

DemoChannel DemoChannel1() { return LogicalDemo(0, 500, 1500); }

}  // namespace velkor::demo
