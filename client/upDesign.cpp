#include "upDesign.h"

#include "buy.h"
#include "Cdir.h"
#include "cZip.h"
#include "DoEvents.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "Forms.h"
#include "frmMain.h"
#include "LogIN.h"
#include "mainModule.h"
#include "MsgBox.h"
#include "orderRequest.h"
#include "OrderedWork.h"
#include "Paths.h"
#include "Platform.h"
#include "PrintImage.h"
#include "ReplaceFile.h"
#include "WelCome.h"
#include "XmlDom.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QScopeGuard>
#include <QStringList>
#include <QTimer>

namespace UpDesign {

const char* const kPreparingTitle = "正在准备上传文件，请稍候...";

QString childText(const QDomElement& e, const QString& name) {
  return e.firstChildElement(name).text();
}

void setChildText(QDomElement e, const QString& name, const QString& text) {
  QDomElement c = e.firstChildElement(name);
  if (c.isNull()) c = e.appendChild(e.ownerDocument().createElement(name)).toElement();
  while (c.hasChildNodes()) c.removeChild(c.firstChild());
  c.appendChild(e.ownerDocument().createTextNode(text));
}

namespace {
const QStringList kUnprintedTitles = {"封面", "封底", "扉页", "环衬"};

QList<QDomElement> children(const QDomElement& e, const QString& name) {
  QList<QDomElement> list;
  for (QDomElement c = e.firstChildElement(name); !c.isNull(); c = c.nextSiblingElement(name))
    list << c;
  return list;
}

bool isOwnSharp(const QDomElement& sharp) {
  return !sharp.firstChildElement("src").isNull() && childText(sharp, "fro") == "l" &&
         !childText(sharp, "src").isEmpty();
}
}  // namespace

int walkPages(const QDomElement& root, const WalkSteps& steps) {
  const QList<QDomElement> pages = children(root, "page");
  int pCount = 0;
  int n = 0;
  for (int i = 0; i < pages.size(); ++i) {
    for (const QDomElement& tpl : children(pages[i], "template")) {
      if (!kUnprintedTitles.contains(childText(tpl, "title").trimmed()) && pCount < 32767) ++pCount;
      for (const QDomElement& image : children(tpl, "image")) {
        if (!image.firstChildElement("ti").isNull() && childText(image, "ti") == "true")
          setChildText(image, "fro", "t");
        if (childText(image, "fro") == "l") steps.prepImage(image, n++);
      }
      for (const QDomElement& sharp : children(tpl, "sharp"))
        if (isOwnSharp(sharp)) steps.prepSharp(sharp, n++);
      for (const QDomElement& group : children(tpl, "group"))
        for (const QDomElement& sharp : children(group, "sharp"))
          if (isOwnSharp(sharp)) steps.prepSharp(sharp, n++);
      if (!steps.yield()) return pCount;
    }
    if (!steps.yield()) return pCount;
    steps.setTitle(QString(kPreparingTitle) + " (" + QString::number(i + 1) + ")",
                   PrintImage::percentText(i * (100.0 / pages.size())));
  }
  return pCount;
}

QString handoverText(const QString& designName, const QString& did) {
  return "upload@@;" + designName + ";" + did;
}

}  // namespace UpDesign

// The workspace's part of the upload: package, registration with the shop and hand-over.

frmMain::~frmMain() = default;

namespace {
const QString kUploadTitle = QStringLiteral("上传设计");

// Back to the editor after a preparation that could not go on: nothing is lost and the design
// keeps its unsaved state.
void backToEditor(frmMain& w, const QString& designState) {
  g.designState = designState;
  w.progress->hide();
  w.WorkArea->show();
}
}  // namespace

bool frmMain::addToPackage(const QString& file, bool convertLineEnds) {
  m_cZ->setEncrypt(false);
  m_cZ->setAddComment(false);
  m_cZ->setZipFile(buildingFile_);
  m_cZ->setStoreFolderNames(false);
  m_cZ->setRecurseSubDirs(false);
  m_cZ->ClearFileSpecs();
  if (convertLineEnds) m_cZ->setConvertCRLFToLF(true);
  m_cZ->AddFileSpec(file);
  m_cZ->Zip();
  QFile::remove(file);
  return m_cZ->Success();
}

void frmMain::dropPackage() {
  QFile::remove(buildingFile_);
  for (const QString& picture : printTargets_) QFile::remove(picture);
}

void frmMain::upDesign(const QString& designXML) {
  // The upload package is built in the design's folder, which must lie directly under MyDesign.
  if (!isDesignFolder(g.designPath)) return;
  // The uploader reads its task at ";": a design whose folder name holds one (made outside the
  // client, which drops ";" from typed names) cannot be handed over, so nothing is started for it.
  if (g.designName.contains(';')) {
    MsgBox(QStringLiteral("设计名称“%1”中含有分号“;”，无法上传。请在文件夹 %2 中把该设计的文件夹改名（去掉分号），"
                          "再打开设计上传。")
               .arg(g.designName, QDir::toNativeSeparators(g.myDesignPath)),
           Msg::OKOnly | Msg::Exclamation, kUploadTitle, this);
    return;
  }
  // Closing the window while this runs stops it at its next yield: what was built goes, the old
  // package stays, and nothing reaches the shop or the uploader. From then on the window is
  // done with, so the state shared with the next workspace is left alone.
  Busy busy(*this);
  const QString stateBefore = g.designState;
  g.designState.clear();
  preparing_ = true;
  stateBeforeUpload_ = stateBefore;
  const auto prepared = qScopeGuard([this] { preparing_ = false; });

  if (!g.isLogin) {
    Forms::logIN().showForm(true);
    if (busy.unloaded() || !g.isLogin) return;
  }

  const QString upFolder = g.designPath + "/UpLoad";
  upFile = upFolder + "/" + g.designName + ".TMP";
  MakeDirs(upFolder);
  // The new package grows beside the old one, which stays until the new one is complete.
  buildingFile_ = upFile + ".part";
  QFile::remove(buildingFile_);
  printTargets_.clear();

  QDomDocument doc;
  // The design comes from the movie: bounded like the request that carried it.
  const bool parsed = XmlDom::loadBounded(doc, designXML, FlashPlayer::maxInvokeChars);
  const QDomElement root = doc.documentElement();
  const QDomElement attributes = root.firstChildElement("attributes");
  upTemplateNO = UpDesign::childText(attributes, "name");
  if (!parsed || upTemplateNO.isEmpty()) {
    MsgBox(QStringLiteral("设计数据不完整，无法上传。请保存设计后重试。"), Msg::OKOnly | Msg::Exclamation,
           kUploadTitle, this);
    if (!busy.unloaded()) g.designState = stateBefore;
    return;
  }
  designDPI = PrintImage::designDpi(UpDesign::childText(attributes, "dpi"));
  m_cZ = std::make_unique<cZip>();

  WorkArea->hide();
  progress->setMovie(Paths::join(Paths::programFolder(), "Progress.ctr"));
  progress->show();
  CallMovie(progress, "setTitle", {UpDesign::kPreparingTitle, "0"});
  DoEvents();
  if (busy.unloaded()) return;

  int pCount = 0;
  {
    // The pictures are made on the pool while the walk goes on; members, rewritten sources and
    // the page progress follow in the walk's order, as each picture before them is done.
    OrderedWork work;
    work.stopWhen([&busy] { return busy.unloaded(); });
    printWork_ = &work;
    unprepared_ = 0;
    UpDesign::WalkSteps steps;
    steps.prepImage = [this](QDomElement node, int n) { prepImage(node, n); };
    steps.prepSharp = [this](QDomElement node, int n) { prepSharp(node, n); };
    steps.yield = [&busy] {
      DoEvents();
      return !busy.unloaded();
    };
    steps.setTitle = [this, &work](const QString& title, const QString& percent) {
      work.then([this, title, percent] { CallMovie(progress, "setTitle", {title, percent}); });
    };
    pCount = UpDesign::walkPages(root, steps);
    work.finish();
    printWork_ = nullptr;
  }  // a stopped walk's pictures still being made are done here
  if (busy.unloaded()) return dropPackage();
  if (unprepared_ > 0) {
    // Nothing goes to the shop without all of its pictures.
    QFile::remove(buildingFile_);
    MsgBox(QStringLiteral("有 %1 张图片无法准备，请检查后重新上传。").arg(unprepared_), Msg::OKOnly | Msg::Exclamation,
           kUploadTitle, this);
    if (!busy.unloaded()) backToEditor(*this, stateBefore);
    return;
  }

  const QString title = QString(UpDesign::kPreparingTitle) + " ";
  progress->setFlashVars("work=true&title=" + title + "&cur=100");
  CallMovie(progress, "setTitle", {title, "100"});
  DoEvents();
  if (busy.unloaded()) return dropPackage();

  const QString indexFile = upFolder + "/Index.DPT";
  QSaveFile index(indexFile);
  bool packed = index.open(QIODevice::WriteOnly) && index.write(doc.toByteArray(-1)) >= 0 && index.commit();
  if (packed) {
    // The package is appended to one member per run without syncs: it is made durable once, as it
    // replaces the old one.
    packed = addToPackage(indexFile, true) && syncFile(buildingFile_) && replaceFile(buildingFile_, upFile);
  }
  if (!packed) {
    QFile::remove(indexFile);
    QFile::remove(buildingFile_);
    MsgBox(QStringLiteral("上传文件无法写入磁盘，请检查磁盘空间后重试。"), Msg::OKOnly | Msg::Exclamation,
           kUploadTitle, this);
    if (!busy.unloaded()) backToEditor(*this, stateBefore);
    return;
  }

  // Closed while the answer is awaited: the order is given up, and the complete package stays as
  // after a refused order.
  OrderCancel cancel;
  connect(this, &Form::loadedChanged, &cancel, [&cancel](bool loaded) {
    if (!loaded) cancel.cancel();
  });
  const QString answer = postOrder(
      g.serverURL, orderBody("SaveDesign", {{"TemplateNO", upTemplateNO}, {"pCount", QString::number(pCount)}}),
      orderTimeoutMs, &cancel);
  if (busy.unloaded()) return;
  const OrderReply reply = readOrderReply(answer);
  const QString did = reply.accepted() ? XmlDom::attributeValue(reply.node, "did") : QString();
  if (did.isEmpty()) {
    if (reply.node.isNull())
      MsgBox(QStringLiteral("无法连接服务器或服务器的回复无法读取，请稍后重试。"), Msg::OKOnly, kUploadTitle, this);
    else
      MsgBox(QStringLiteral("未找到相对应的产品资料，该产品可能已删除，请与客服联系。"), Msg::OKOnly, kUploadTitle, this);
    if (busy.unloaded()) return;
    Forms::welcome().showForm();
    hideForm();
    Timer2->start();
    return;
  }

  g.buyURL = g.siteURL + "/main/buy.aspx?ID=" + did;
  buy& order = Forms::buyWindow();
  order.toBuy();
  order.showForm();
  platform().clipboard->clear();
  platform().clipboard->setText(UpDesign::handoverText(g.designName, did));
  if (platform().process->startDetached(Paths::join(Paths::programFolder(), "upload")) == 0)
    MsgBox(QStringLiteral("无法启动上传程序，请重新安装客户端后再上传。"), Msg::OKOnly | Msg::Exclamation,
           kUploadTitle, this);
  if (busy.unloaded()) return;
  Timer2->start();
}
