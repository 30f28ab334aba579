#pragma once
// The design package: the zip file designPath/designName.DPT holding the design XML as its one
// member "index.DPT", written from the transient designPath/index.DPT on every save.
namespace DesignPackage {
// Packs designPath/index.DPT into the design package. The new package is written beside the old
// one and renamed over it only when complete; then index.DPT is deleted and designState emptied.
// When packing fails the old package, index.DPT and designState stay as they were and the user
// is told in a message box.
void buildDfile();
}  // namespace DesignPackage
