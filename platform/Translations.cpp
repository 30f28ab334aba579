#include "Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Translations {
void install() { installCatalogue("qtbase"); }

void installCatalogue(const char* catalogue) {
  // Only the catalogues: the user's regional formats (dates in the design list) stay the user's.
  const QLocale chinese(QLocale::Chinese, QLocale::China);
  auto* t = new QTranslator(QCoreApplication::instance());
  if (t->load(chinese, catalogue, "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(t);
  else
    delete t;
}
}  // namespace Translations
