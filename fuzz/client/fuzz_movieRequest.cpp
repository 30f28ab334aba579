// A movie's request as the client reads it, and a call as the client builds it. Raw texts: a
// request is read only when it is within the bounds, well-formed, and its first element has a
// `name` and a first grandchild, from which name and argument come exactly as a token-by-token
// reading finds them. Built texts: what the player sends for any name and arguments is read back
// as exactly that name and first argument, and a call with an escaped argument parses with that
// argument as its text.
#include "FakePlatform.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "FuzzSupport.h"
#include "XmlDom.h"
#include "frmMain.h"

#include <QDomDocument>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {
// A character that survives XML as it is: allowed in XML, and not a CR (which the parse turns
// into a LF). Within attribute values tabs and line feeds become blanks as well.
bool keeps(char32_t c, bool inAttribute) {
  if (c == '\r' || (inAttribute && (c == '\t' || c == '\n'))) return false;
  return c == '\t' || c == '\n' || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000;
}

QString xmlSafe(const std::string& bytes, bool inAttribute) {
  QString out;
  for (const char32_t c : QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUcs4())
    if (keeps(c, inAttribute)) out += QString::fromUcs4(&c, 1);
  return out;
}

void rawRequest(const QString& text) {
  QString name = "unread", argument = "unread";
  const bool ok = ReadRequest(text, name, argument);
  const XmlReading model = readXml(text);
  const bool readable = text.size() <= FlashPlayer::maxInvokeChars && model.wellFormed && model.depth <= XmlDom::kMaxDepth;
  const bool expected = readable && model.first.kind == XmlNode::Element &&
                        model.first.attributes.hasAttribute(QStringLiteral("name")) &&
                        model.firstGrandchild.kind != XmlNode::None;
  FUZZ_CHECK(ok == expected, "read " + QString::number(ok) + ": " + text.left(300));
  if (!ok) {
    FUZZ_CHECK(name == "unread" && argument == "unread", name + " / " + argument);
    return;
  }
  FUZZ_CHECK(name == attribute(model.first, "name"), name);
  FUZZ_CHECK(argument == model.firstGrandchild.text, argument + " / " + model.firstGrandchild.text);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    rawRequest(QString::fromStdString(in.ConsumeRemainingBytesAsString()));
    return 0;
  }
  const QString name = xmlSafe(in.ConsumeRandomLengthString(64), true);
  QStringList args;
  const int count = in.ConsumeIntegralInRange(0, 3);
  for (int i = 0; i < count; ++i) args << xmlSafe(in.ConsumeRandomLengthString(256), false);

  QString readName, readArgument;
  const bool ok = ReadRequest(requestText(name, args), readName, readArgument);
  FUZZ_CHECK(ok == !args.isEmpty(), requestText(name, args));
  if (ok) {
    FUZZ_CHECK(readName == name, readName + " / " + name);
    // Text of white space only is no node of the document (as in every DOM of this kind).
    const QString expected = args[0].trimmed().isEmpty() ? QString() : args[0];
    FUZZ_CHECK(readArgument == expected, readArgument + " / " + args[0]);
  }

  // A call into a movie with the argument escaped for it, as the workspace sends file names.
  const QString argument = args.value(0);
  QDomDocument call;
  const QString callText = BuildCall("loadImgs", {escapeForCall(argument)});
  FUZZ_CHECK(XmlDom::loadBounded(call, callText, FlashPlayer::maxInvokeChars), callText);
  FUZZ_CHECK(call.documentElement().firstChildElement("arguments").firstChildElement("string").text() ==
                 (argument.trimmed().isEmpty() ? QString() : argument),
             callText);
  return 0;
}
