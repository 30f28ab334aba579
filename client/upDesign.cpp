#include "upDesign.h"

#include "PrintImage.h"

#include <QStringList>

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
      steps.yield();
    }
    steps.yield();
    steps.setTitle(QString(kPreparingTitle) + " (" + QString::number(i + 1) + ")",
                   PrintImage::percentText(i * (100.0 / pages.size())));
  }
  return pCount;
}

QString saveDesignBody(const QString& templateNO, int pCount) {
  return "Order=SaveDesign&TemplateNO=" + templateNO + "&pCount=" + QString::number(pCount);
}

QString handoverText(const QString& designName, const QString& did) {
  return "upload@@;" + designName + ";" + did;
}

}  // namespace UpDesign
