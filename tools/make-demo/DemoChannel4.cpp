#include "Demo.h"

namespace velkor::demo {

DemoChannel DemoChannel4() { return LogicalDemo(3, 40000, 25000); }

}  // namespace velkor::demo
