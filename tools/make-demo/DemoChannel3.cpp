#include "Demo.h"

namespace velkor::demo {

DemoChannel DemoChannel3() { return LogicalDemo(2, 10000, 10000); }

}  // namespace velkor::demo
