#include "mZip.h"

#include "cZip.h"

#include <QByteArray>
#include <QDir>
#include <QPointer>

#include <cstring>
#include <vector>

namespace mZip {
namespace {
// The module state of the run in progress.
QPointer<cZip> current;
bool cancelled = false;
bool passwordAsked = false;

const Library realLibrary{::ZpInit, ::ZpSetOptions, ::ZpArchive};
const Library* library = &realLibrary;

// The text at address: at most length bytes, up to its first NUL, from the locale's encoding.
QString textAt(const char* address, unsigned long length) {
  if (!address) return QString();
  return QString::fromLocal8Bit(address, qsizetype(strnlen(address, length)));
}
}  // namespace

void setLibrary(const Library* l) { library = l ? l : &realLibrary; }

int32_t RunZip(cZip& instance, ZipOptions& options, const QStringList& specs, int32_t count) {
  cancelled = false;
  passwordAsked = false;
  current = &instance;
  const QString base = instance.BasePath().trimmed();
  if (!base.isEmpty()) QDir::setCurrent(instance.BasePath());

  static const ZipCallbacks callbacks{OnZipPrint, OnZipComment, OnZipPassword, OnZipService};
  library->ZpInit(&callbacks);
  ZipOptions copy = options;
  library->ZpSetOptions(&copy);
  options = copy;

  // Checked before the library is asked to archive, so nothing is written.
  if (count > MaxSpecs || count > specs.size()) throw SubscriptError();
  std::vector<QByteArray> texts;
  texts.reserve(size_t(qMax(count, 0)));
  ZipNames names{};
  for (int32_t i = 0; i < count; ++i) {
    texts.push_back(specs.at(i).toLocal8Bit());
    names.name[i] = texts.back().isEmpty() ? nullptr : texts.back().constData();
  }
  static const char lone[1] = {'\0'};
  if (count >= 0) names.name[count + 1] = lone;

  const QByteArray archive = instance.ZipFile().toLocal8Bit();
  return library->ZpArchive(count, archive.isEmpty() ? nullptr : archive.constData(), &names);
}

int OnZipPrint(const char* text, unsigned long length) {
  try {
    if (length > 1 && length < 1024 && current) {
      const QString message = SlashToBackslash(textAt(text, length));
      Q_EMIT current->progress(1, message);
    }
  } catch (...) {
  }
  return 0;
}

int OnZipComment(char* buffer) {
  int result = 1;
  try {
    if (cancelled) return 1;
    QString comment;
    bool cancel = false;
    if (current) Q_EMIT current->CommentRequest(comment, cancel);
    comment = comment.trimmed();
    if (comment.isEmpty() || cancel) {
      cancelled = true;
      return 1;
    }
    const QByteArray bytes = comment.toLocal8Bit();
    const qsizetype n = qMin<qsizetype>(bytes.size(), 255);
    std::memcpy(buffer, bytes.constData(), size_t(n));
    buffer[n] = '\0';
    result = 0;
  } catch (...) {
  }
  return result;
}

int OnZipPassword(char* buffer, int size, const char*, const char*) {
  int result = 1;
  try {
    if (cancelled) return 1;
    QString password;
    bool cancel = false;
    if (current) Q_EMIT current->PasswordRequest(password, size, passwordAsked, cancel);
    password = password.trimmed();
    if (password.isEmpty() || cancel) {
      cancelled = true;
      return 1;
    }
    const QByteArray bytes = password.toLocal8Bit();
    for (int i = 0; i < size && i <= 255; ++i) buffer[i] = i < bytes.size() ? bytes[i] : '\0';
    passwordAsked = true;
    result = 0;
  } catch (...) {
  }
  return result;
}

int OnZipService(const char* text, unsigned long count) {
  try {
    if (count > 1 && count < 1024 && current) {
      bool cancel = false;
      Q_EMIT current->Cancel(textAt(text, count), cancel);
      if (cancel) {
        cancelled = true;
        return 1;
      }
    }
  } catch (...) {
  }
  return 0;
}

QString SlashToBackslash(const QString& text) {
  QString out = text;
  for (qsizetype i = 1; i < out.size(); ++i)
    if (out[i] == '/') out[i] = '\\';
  return out;
}
}  // namespace mZip
