// The workspace's print picture procedures: each picture node of the upload is handed to the
// pool as a job of its own, and becomes its numbered member once every picture before it has.
#include "frmMain.h"

#include "mainModule.h"
#include "OrderedWork.h"
#include "Paths.h"
#include "PrintImage.h"
#include "upDesign.h"

#include <QDomElement>
#include <QFile>
#include <QRegularExpression>
#include <cmath>

double frmMain::Max(double a, double b) { return PrintImage::Max(a, b); }

void frmMain::prepImage(QDomElement node, int n) { prepPicture(node, n, false); }
void frmMain::prepSharp(QDomElement node, int n) { prepPicture(node, n, true); }

namespace {
// A size child read as a decimal number; false when it is missing or not a number.
bool sizeOf(const QDomElement& node, const QString& name, double& value) {
  const QDomElement e = node.firstChildElement(name);
  if (e.isNull()) return false;
  bool ok = false;
  value = e.text().trimmed().toDouble(&ok);
  return ok && std::isfinite(value);
}
}  // namespace

void frmMain::prepPicture(QDomElement node, int n, bool sharp) {
  // Every node that names a picture and ends without a member is told to the user.
  const QString src = UpDesign::childText(node, "src");
  auto unprepared = [this, &src] {
    if (!src.isEmpty()) ++unprepared_;
  };
  PrintImage::Job job;
  if (!sizeOf(node, sharp ? "sw" : "w", job.width) || !sizeOf(node, sharp ? "sh" : "h", job.height)) return unprepared();
  job.sharp = sharp;
  job.rotation = sharp ? PrintImage::rotationOf(UpDesign::childText(node, "sr")) : 0;
  job.dpi = designDPI;

  // Only the last part of src names the picture, and only inside the design's Images folder.
  const QString name = src.section(QRegularExpression("[\\\\/]"), -1);
  if (!Paths::isBareName(name)) return unprepared();
  job.source = Paths::resolveCase(g.designPath + "/Images/" + name);
  job.target = g.designPath + "/UpLoad/" + QString::number(n);

  if (!LoadGDIP()) return;
  printTargets_ << job.target;
  // The picture is made on the pool; its member is added here, in the order of the numbers.
  printWork_->run<PrintImage::Made>([job] { return PrintImage::prepare(job); },
                                    [this, node, n, target = job.target](const PrintImage::Made& m) {
                                      if (m.picture.isValid()) {
                                        imgWidth = m.picture.width();
                                        imgHeight = m.picture.height();
                                      }
                                      DisposeGDIP();
                                      if (m.made && addToPackage(target, false)) {
                                        UpDesign::setChildText(node, "src", QString::number(n));
                                      } else {
                                        QFile::remove(target);
                                        ++unprepared_;
                                      }
                                    });
}
