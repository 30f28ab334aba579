#include "MovieFixture.h"

#include "FakePlatform.h"
#include "MoviePlayer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>

#include <memory>

QString writeMovie(const QTemporaryDir& dir, const QString& name, const QString& html) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(html.toUtf8());
  return path;
}

QVariant runScript(QWebEnginePage* page, const QString& code, int timeoutMs) {
  auto result = std::make_shared<QVariant>();
  auto done = std::make_shared<bool>(false);
  // Shared with the callback, which may still come after a wait that gave up.
  page->runJavaScript(code, [result, done](const QVariant& v) {
    *result = v;
    *done = true;
  });
  if (!QTest::qWaitFor([&] { return *done; }, timeoutMs)) return QVariant("(no answer)");
  return *result;
}

void useRealMovies(FakePlatform& fake) {
  fake.platform.newFlashPlayer = [](QWidget* parent) -> FlashPlayer* { return new MoviePlayer(parent); };
}
