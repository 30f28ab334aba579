// The two list files of the program folder: "DownList.Lst" as the downloader's "addToList"
// entries write it, and "Design.Lst" as hostile bytes, both read back by the workspace. Every
// entry stays exactly one line, whatever it holds; the template list always has its frame and
// starts with the template of the first Design.Lst line that names the design.
#include "FuzzSupport.h"
#include "Paths.h"
#include "Template.h"
#include "frmMain.h"
#include "mainModule.h"

#include <QRegularExpression>
#include <QStringList>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {
QStringList linesOf(const QByteArray& bytes) {
  QStringList lines = QString::fromLocal8Bit(bytes).split(QRegularExpression("\r\n|\r|\n"));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    Paths::setProgramFolder(scratchFolder());
    return true;
  }();
  Q_UNUSED(ready);
  FuzzedDataProvider in(data, size);
  g.designName = QString::fromStdString(in.ConsumeRandomLengthString(64));
  const std::string designList = in.ConsumeRandomLengthString(2048);
  QStringList entries;
  while (in.remaining_bytes() > 0 && entries.size() < 64)
    entries << QString::fromStdString(in.ConsumeRandomLengthString(128));

  // Each entry as "addToList" appends it: its line in the locale's encoding and CR LF.
  QByteArray downList;
  for (const QString& e : entries) downList += downListLine(e).toLocal8Bit() + "\r\n";
  writeOrStop(scratchFolder() + "/DownList.Lst", downList);
  writeOrStop(scratchFolder() + "/Design.Lst", QByteArray(designList.data(), qsizetype(designList.size())));

  const QStringList lines = linesOf(downList);
  FUZZ_CHECK(lines.size() == entries.size(), QString::number(lines.size()) + " lines of " +
                                                 QString::number(entries.size()) + " entries");

  QString t;
  for (const QString& line : linesOf(QByteArray(designList.data(), qsizetype(designList.size())))) {
    const QStringList f = line.split('/');
    if (f.size() >= 2 && f[0] == g.designName) {
      t = f[1];
      break;
    }
  }
  const QString list = getTemplateList();
  FUZZ_CHECK(list.startsWith("<lst><template>" + t + "</template>") && list.endsWith("</lst>"), list.left(300));
  return 0;
}
