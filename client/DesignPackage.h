#pragma once
// STAND-IN: the real design package writer replaces this file and DesignPackage.cpp; until then
// saving writes no package. Tests of the package's bytes skip while DESIGNPACKAGE_STUB is defined.
#define DESIGNPACKAGE_STUB 1

namespace DesignPackage {
// Packs the design folder's "index.DPT" into the design package and deletes it.
void buildDfile();
}
