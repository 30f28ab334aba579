// STAND-IN for the design package writer (see DesignPackage.h): it writes nothing.
#include "DesignPackage.h"

namespace DesignPackage {
void buildDfile() {}
}
