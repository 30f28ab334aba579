#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {
void install() {
  // Only the catalogues: the user's regional formats (dates in the design list) stay the user's.
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* catalogue : {"qtbase", "qtwebengine"}) {
    auto* t = new QTranslator(QCoreApplication::instance());
    if (t->load(chinese, catalogue, "_", folder)) QCoreApplication::installTranslator(t);
    else delete t;
  }
  // WebEngine reads its flags when its first page is made, which is after this.
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!flags.contains("--lang=")) {
    if (!flags.isEmpty()) flags += ' ';
    flags += "--lang=zh-CN";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
  }
}
}  // namespace Translations
