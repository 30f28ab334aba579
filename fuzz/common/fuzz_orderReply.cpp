// The server page's answer to an order, as readOrderReply reads it. Besides not crashing: an
// answer over the bound, nested too deep or not well-formed is never accepted, and otherwise it
// is accepted exactly when a token-by-token reading finds an element first whose `flag` is "ok".
#include "FuzzSupport.h"
#include "XmlDom.h"
#include "orderRequest.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  const OrderReply reply = readOrderReply(text);

  QString cleaned = text;
  cleaned.remove(QStringLiteral("\r\n"));
  const XmlReading model = readXml(cleaned);
  const bool readable = text.size() <= orderReplyMaxChars && model.wellFormed && model.depth <= XmlDom::kMaxDepth;
  const bool accepted = readable && model.first.kind == XmlNode::Element && attribute(model.first, "flag") == "ok";

  FUZZ_CHECK(reply.accepted() == accepted, "accepted " + QString::number(reply.accepted()) + ": " + text.left(300));
  FUZZ_CHECK(readable || reply.node.isNull(), "a node from an unreadable answer: " + text.left(300));
  if (readable && model.first.kind == XmlNode::Element) {
    FUZZ_CHECK(reply.node.nodeName() == model.first.name, reply.node.nodeName() + " / " + model.first.name);
    FUZZ_CHECK(reply.flag == attribute(model.first, "flag"), reply.flag);
  }
  return 0;
}
