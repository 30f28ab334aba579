#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {
void install() {
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  QLocale::setDefault(chinese);
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  // "qt" pulls in qtbase and the other modules' catalogues that are installed.
  for (const char* catalogue : {"qt", "qtbase", "qtwebengine"}) {
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
