// The design editor's requests to the workspace: page texts, the design, pictures, messages and
// the unsaved-changes state.
#include "frmMain.h"

#include "Cdir.h"
#include "CheckDir.h"
#include "FlashBridge.h"
#include "MsgBox.h"
#include "OpenFileBox.h"
#include "OrderedWork.h"
#include "Paths.h"
#include "mainModule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// The text in the locale's encoding followed by CR LF; the file is replaced whole.
void writeTextFile(const QString& path, const QString& text) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return;
  f.write(text.toLocal8Bit() + "\r\n");
  f.commit();
}

// The design XML as the bytes FF FE and its UTF-16LE code units; an older file goes first.
void writeIndexFile(const QString& path, const QString& xml) {
  QFile::remove(Paths::resolveCase(path));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return;
  QByteArray bytes("\xFF\xFE", 2);
  for (QChar c : xml) {
    const char16_t u = c.unicode();
    bytes.append(char(u & 0xFF)).append(char(u >> 8));
  }
  f.write(bytes);
}

void ensureFolder(const QString& path) {
  if (!DirExists(path)) MakeDirs(path);
}

// A path in the "\" form the editor is given.
QString backslashed(const QString& path) { return QString(path).replace('/', '\\'); }

// The longest a file name may be on this file system, in bytes.
constexpr int kMaxNameBytes = 255;
}  // namespace

void frmMain::doFlashCall(const QString& name, const QString& argument) {
  // The design's files are written only into its own folder under MyDesign.
  const bool writable = isDesignFolder(g.designPath);
  if (name == "savePagesName") {
    pageName = argument;
  } else if (name == "savePages") {
    // The page name is the editor's; one that would lead out of the Pages folder writes nothing.
    if (!writable || !Paths::isBareName(pageName + ".PAG")) return;
    ensureFolder(g.designPath + "/Pages");
    writeTextFile(Paths::resolveCase(g.designPath + "/Pages") + "/" + pageName + ".PAG", argument);
  } else if (name == "upDesign") {
    upDesign(argument);
  } else if (name == "pageErr") {
    QString text = argument + ",";
    text.replace(",", QString::fromUtf8("\t未完成设计\r\n"));
    MsgBox(text, Msg::OKOnly, QString::fromUtf8("有未完成的页面"), this);
  } else if (name == "LogIn") {
    g.userID = argument;
  } else if (name == "importImg") {
    importImg();
  } else if (name == "editing") {
    g.designState = "editing";
  } else if (name == "removeImg") {
    if (writable) removeImg(argument);
  } else if (name == "MsgBox") {
    MsgBox(argument, Msg::OKOnly, QString::fromUtf8("保存设计"), this);
  } else if (name == "saveDesign") {
    // Outside MyDesign nothing is written, and buildDfile reports the save as failed.
    if (writable) writeIndexFile(g.designPath + "/index.DPT", argument);
    buildDfile();
  } else if (name == "saveThumb") {
    if (writable) writeTextFile(g.designPath + "/Thumb", argument);
  } else if (name == "getThumb") {
    // Nothing: the editor reads the thumbnail text itself.
  }
}

void frmMain::importImg() {
  Busy busy(*this);
  QString list;
  // A design folder outside MyDesign takes no pictures: the editor gets an empty list.
  if (!isDesignFolder(g.designPath)) {
    CallMovie(WorkArea, "importImg", {list});
    return;
  }
  ensureFolder(g.designPath + "/Images/Thumb");
  const QString buffer = OpenFileDlg(this, QString::fromUtf8("打开"), "*.*", 1, 51200);
  // Closed while the dialog was open, or later while thumbnails are awaited: the pictures stored
  // so far stay (the next opening lists them), nothing more is stored, and the editor is gone.
  if (busy.unloaded()) return;
  if (!buffer.isEmpty()) {
    const int n = SplitSelection(buffer);
    ensureFolder(g.designPath + "/Images");
    const QString images = Paths::resolveCase(g.designPath + "/Images");
    const QString thumbs = Paths::resolveCase(images + "/Thumb");
    const QString prefix = backslashed(Paths::programFolder()) + "\\";
    // Thumbnails are made side by side while the pictures are copied here, one after the other,
    // so that each name is varied against the pictures stored before it.
    OrderedWork work;
    work.stopWhen([&busy] { return busy.unloaded(); });
    for (int i = 0; i <= n; ++i) {
      const QString source = OpenFileBox::SelectedFiles.value(i);
      QString file = QFileInfo(source).fileName();
      if (file.isEmpty()) continue;
      bool free = !Paths::existsAnyCase(images + "/" + file);
      for (int j = 0; !free && j <= 10000; ++j) {
        // Every "." gains "_j" before it; a name without "." gains it at its end.
        const QString suffix = "_" + QString::number(j);
        if (file.contains('.')) file.replace(".", suffix + ".");
        else file += suffix;
        if (file.toUtf8().size() > kMaxNameBytes) break;  // no longer a possible name
        free = !Paths::existsAnyCase(images + "/" + file);
      }
      // Never overwrite a stored picture: one that finds no free name is not imported.
      if (!free) continue;
      const QString target = images + "/" + file;
      ShowTNImg(work, source, 150, thumbs + "/" + file);
      if (busy.unloaded()) break;
      if (!QFile::copy(source, target)) continue;
      if (!list.isEmpty()) list += ",";
      list += escapeForCall(backslashed(target).remove(prefix));
    }
    work.finish();
    if (busy.unloaded()) return;
  }
  CallMovie(WorkArea, "importImg", {list});
}

void frmMain::removeImg(const QString& argument) {
  // Only a file inside the open design's folder: "..", an absolute path or a link that leads
  // elsewhere deletes nothing.
  const QString path = Paths::resolveCase(QDir::cleanPath(Paths::programFolder() + "/" + Paths::native(argument)));
  const QFileInfo file(path);
  const QString design = QFileInfo(Paths::resolveCase(g.designPath)).canonicalFilePath();
  const QString parent = QFileInfo(file.absolutePath()).canonicalFilePath();
  if (design.isEmpty() || parent.isEmpty() || file.fileName().isEmpty()) return;
  if (parent != design && !parent.startsWith(design + "/")) return;
  if (file.isDir() && !file.isSymLink()) return;
  QFile::remove(parent + "/" + file.fileName());
}
