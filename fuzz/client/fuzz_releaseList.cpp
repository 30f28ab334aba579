// The release list as the update check reads it from "ver.tmp". Besides not crashing: a list over
// 1 MB, nested too deep or not well-formed gives no version, and otherwise the version is read
// exactly when a token-by-token reading finds the root "ver" first and, as its first node, an
// element with the attribute "ver".
#include "FuzzSupport.h"
#include "Module1.h"
#include "XmlDom.h"
#include "releaseList.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray list(reinterpret_cast<const char*>(data), qsizetype(size));
  QString version = "unread";
  const bool read = Module1::readReleaseList(list, version);

  const XmlReading model = readXml(list);
  const bool readable = list.size() <= releaseList::maxBytes && model.wellFormed &&
                        model.depth <= XmlDom::kMaxDepth;
  const bool expected = readable && model.first.kind == XmlNode::Element && model.first.name == "ver" &&
                        model.firstChild.kind == XmlNode::Element &&
                        model.firstChild.attributes.hasAttribute(QStringLiteral("ver"));
  FUZZ_CHECK(read == expected, "read " + QString::number(read) + ": " + QString::fromUtf8(list.left(300)));
  FUZZ_CHECK(read ? version == attribute(model.firstChild, "ver") : version == "unread", version);
  return 0;
}
