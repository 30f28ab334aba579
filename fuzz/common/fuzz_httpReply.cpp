// The raw GET's reply half, fed a reply stream in random data events. Besides not crashing: the
// file never holds more than Content-Length bytes nor more than the caller's maximum, and always
// exactly the bytes that follow the header in the stream; a Content-Length above the maximum
// writes nothing; the reply is complete exactly when all of them are written; and how the stream
// is cut into data events changes nothing.
#include "FileFixture.h"
#include "FuzzSupport.h"
#include "socketGet.h"

#include <QFile>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <random>

namespace {
// Longer headers fail by their length once they have arrived in parts, so the whole stream
// stays below that to compare cuts.
constexpr size_t kMaxStream = 60000;

struct Outcome {
  socketGet::Status status;
  qint64 contentLen;
  QByteArray file;
};

QString target() { return scratchFolder() + "/body"; }

// Runs the stream through a fresh reply state in events of the given lengths, checking what each
// event leaves in the file.
Outcome run(const QByteArray& stream, const QList<qsizetype>& cuts, qint64 maxLen) {
  QFile::remove(target());
  socketGet::Reply state;
  state.localFile = target();
  state.maxLen = maxLen;
  const qsizetype headerEnd = stream.indexOf("\r\n\r\n");
  qsizetype at = 0;
  for (const qsizetype n : cuts) {
    const QByteArray event = stream.mid(at, n);
    at += n;
    socketGet::writeBody(state, socketGet::takeBody(state, event));
    if (state.status == socketGet::Status::Receiving || state.status == socketGet::Status::Complete) {
      FUZZ_CHECK(headerEnd >= 0, "a body without a header");
      const QByteArray file = readAll(target());
      const QByteArray arrived = stream.mid(headerEnd + 4, at - headerEnd - 4);
      FUZZ_CHECK(file.size() <= state.contentLen, QString::number(file.size()));
      FUZZ_CHECK(state.contentLen <= maxLen, "a reply above the maximum was taken");
      FUZZ_CHECK(file == arrived.left(state.contentLen), "file differs from the stream");
      FUZZ_CHECK(state.writePos == file.size() && state.recvLen == file.size(), QString::number(state.writePos));
      FUZZ_CHECK((state.status == socketGet::Status::Complete) == (file.size() == state.contentLen),
                 QString::number(file.size()));
    }
  }
  if (state.status == socketGet::Status::Failed && state.writePos == 0)
    FUZZ_CHECK(readAll(target()) == "<missing>" || readAll(target()).isEmpty(), "a failed reply left bytes behind");
  return {state.status, state.contentLen, readAll(target())};
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::minstd_rand cutter(in.ConsumeIntegral<uint32_t>());
  // Mostly a maximum that lets the body through, sometimes one the reply may exceed.
  const qint64 maxLen = in.ConsumeBool() ? qint64(kMaxStream) : in.ConsumeIntegralInRange<qint64>(0, 4096);
  const std::string raw = in.ConsumeRemainingBytesAsString();
  if (raw.size() > kMaxStream) return -1;
  const QByteArray stream(raw.data(), qsizetype(raw.size()));

  QList<qsizetype> cuts;
  for (qsizetype left = stream.size(); left > 0;) {
    // Mostly short events, now and then a long one, sometimes an empty one.
    const qsizetype n = qMin<qsizetype>(left, cutter() % 4 == 0 ? qsizetype(cutter() % 2048) : qsizetype(cutter() % 16));
    cuts << n;
    left -= n;
  }
  const Outcome whole = run(stream, {stream.size()}, maxLen);
  const Outcome cut = run(stream, cuts, maxLen);
  FUZZ_CHECK(cut.status == whole.status, QString::number(int(cut.status)) + " / " + QString::number(int(whole.status)));
  if (whole.status != socketGet::Status::Failed && whole.status != socketGet::Status::AwaitingHead) {
    FUZZ_CHECK(cut.contentLen == whole.contentLen, QString::number(cut.contentLen));
    FUZZ_CHECK(cut.file == whole.file, "the cut stream wrote other bytes");
  }
  return 0;
}
