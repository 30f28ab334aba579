// The hand-over text as the uploader takes it from the clipboard. Besides not crashing: a text
// is taken exactly when it splits at ";" into the marker "upload@@", a bare design name and a
// server id without blanks, control characters, "/" or "\" (and more fields, which are
// ignored), and both names go through the task list unchanged; a taken task has exactly the
// second and third fields, its package lies inside its own folder under "MyDesign", and its id
// forms FTP command lines of one line each.
#include "FtpEngine.h"
#include "FuzzSupport.h"
#include "Paths.h"
#include "taskList.h"
#include "upHandover.h"

#include <QDir>
#include <QStringList>

#include <cstdint>

namespace {
// The hand-over's rules, written again apart from the parser's on purpose: a slip in either shows.
bool bareName(const QString& s) { return Paths::isBareName(s) && !hasControl(s); }

bool plainId(const QString& s) {
  if (s.isEmpty() || s.contains('/') || s.contains('\\') || hasControl(s)) return false;
  for (const QChar c : s)
    if (c.isSpace()) return false;
  return true;
}

// Whether a new task with these names is read back from the saved list with them.
bool survivesTaskList(const QString& dNO, const QString& wDNO) {
  const TaskListRead r = readTaskList(QString::fromUtf8(writeTaskList({newTaskItem(dNO, wDNO)})));
  if (!r.parsed || r.items.size() != 1) return false;
  const RestoredTask t = restoredTask(r.items[0]);
  return t.dNO == dNO && t.wDNO == wDNO && !t.uped && !t.real;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The clipboard's text as UTF-8, or as UTF-16 units (lone surrogate halves included), or as
  // UTF-16 after the marker, which most random texts lack.
  const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
  const auto utf16 = [&] { return QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2); };
  QString text;
  switch (data[0] % 3) {
    case 0: text = QString::fromUtf8(rest); break;
    case 1: text = utf16(); break;
    default: text = "upload@@;" + utf16(); break;
  }

  const std::optional<upHandover> h = parseHandover(text);
  const QStringList fields = text.split(';');
  const bool wellSplit = fields.size() >= 3 && fields[0] == u"upload@@";
  const bool fit = wellSplit && bareName(fields[1]) && plainId(fields[2]);
  if (h) {
    FUZZ_CHECK(fit, "taken: " + text.left(300));
    FUZZ_CHECK(h->dNO == fields[1] && h->wDNO == fields[2], h->dNO + " / " + h->wDNO);
    FUZZ_CHECK(survivesTaskList(h->dNO, h->wDNO), "the task list does not keep " + h->dNO + " / " + h->wDNO);
    static FtpEngine engine;
    engine.dNO = h->dNO;
    Paths::setProgramFolder(scratchFolder());
    const QString folder = Paths::programFolder() + "/MyDesign/" + h->dNO + "/UpLoad";
    const QString package = QDir::cleanPath(engine.packagePath());
    FUZZ_CHECK(package == folder + "/" + h->dNO + ".TMP", package);
    for (const QString& command : {"size ", "dele ", "APPE "}) {
      const QString line = command + h->wDNO;
      FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains(QChar(0)), line);
    }
  } else if (fit) {
    // Refused only when the list file could not keep the names (characters XML cannot carry).
    FUZZ_CHECK(!survivesTaskList(fields[1], fields[2]), "refused: " + text.left(300));
  }
  return 0;
}
