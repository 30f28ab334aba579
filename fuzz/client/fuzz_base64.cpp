// The downloader's Base64 stream. Any text cut into any pieces decodes to what the whole text
// decodes to, failing alike; and any bytes, encoded with blanks and line breaks strewn in and the
// padding kept or left off, come back exactly, whatever the pieces.
#include "FuzzSupport.h"
#include "base64.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {
// Feeds text to a fresh stream in pieces whose lengths in draws.
QByteArray inPieces(const QString& text, FuzzedDataProvider& in, bool& failed) {
  Base64Stream s;
  QByteArray out;
  for (qsizetype at = 0; at < text.size();) {
    const qsizetype n = in.ConsumeIntegralInRange<qsizetype>(0, text.size() - at);
    out += s.feed(QStringView(text).mid(at, n));
    at += n;
    if (n == 0 && in.remaining_bytes() == 0) {
      out += s.feed(QStringView(text).mid(at));
      break;
    }
  }
  out += s.finish();
  failed = s.failed();
  return out;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  if (in.ConsumeBool()) {
    const QString text = QString::fromLatin1(in.ConsumeRandomLengthString(4096));
    bool ok = false;
    const QByteArray whole = DecodeBase64(text, &ok);
    bool failed = false;
    const QByteArray pieces = inPieces(text, in, failed);
    FUZZ_CHECK(failed == !ok, text.left(200));
    // A text that fails stores nothing, whatever its pieces decoded before the failure showed.
    FUZZ_CHECK(!ok || pieces == whole, text.left(200));
    FUZZ_CHECK(ok || whole.isEmpty(), text.left(200));
    return 0;
  }
  const std::string raw = in.ConsumeRandomLengthString(4096);
  const QByteArray bytes(raw.data(), qsizetype(raw.size()));
  QString text = QString::fromLatin1(bytes.toBase64());
  if (in.ConsumeBool()) {
    while (text.endsWith('=')) text.chop(1);
  }
  for (int blanks = in.ConsumeIntegralInRange(0, 8); blanks > 0; --blanks) {
    static const char kinds[] = {' ', '\t', '\r', '\n'};
    text.insert(in.ConsumeIntegralInRange<qsizetype>(0, text.size()), QChar(kinds[in.ConsumeIntegralInRange(0, 3)]));
  }
  bool failed = false;
  const QByteArray decoded = inPieces(text, in, failed);
  FUZZ_CHECK(!failed && decoded == bytes, text.left(200));
  return 0;
}
