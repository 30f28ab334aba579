#include "DesignPackage.h"

#include "MsgBox.h"
#include "Paths.h"
#include "ReplaceFile.h"
#include "cZip.h"
#include "mainModule.h"

#include <QDir>
#include <QFile>

#include <exception>

namespace DesignPackage {
namespace {
// The design stays unsaved, so closing the workspace still asks.
void saveFailed() { MsgBox(QString::fromUtf8("保存设计失败，请重试！"), Msg::OKOnly | Msg::Critical); }
}  // namespace

void buildDfile() {
  // A design is saved only into its folder under MyDesign.
  if (!isDesignFolder(g.designPath)) {
    saveFailed();
    return;
  }
  const QString target = Paths::resolveCase(Paths::join(g.designPath, g.designName + ".DPT"));
  const QString source = Paths::resolveCase(Paths::join(g.designPath, "index.DPT"));
  // The new package is made here and renamed over the old one; a kill leaves one of the two whole.
  const QString staging = target + ".new";
  QFile::remove(staging);

  bool packed = false;
  {
    cZip m_cZ;
    m_cZ.setEncrypt(false);
    m_cZ.setAddComment(false);
    m_cZ.setZipFile(staging);
    m_cZ.setStoreFolderNames(false);
    m_cZ.setRecurseSubDirs(false);
    m_cZ.ClearFileSpecs();
    m_cZ.AddFileSpec(source);
    try {
      m_cZ.Zip();
      packed = m_cZ.Success();
    } catch (const std::exception&) {
      packed = false;
    }
  }
  if (!packed || !replaceFile(staging, target)) {
    QFile::remove(staging);
    saveFailed();
    return;
  }
  QFile::remove(source);
  g.designState = "";
}
}  // namespace DesignPackage
