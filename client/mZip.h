#pragma once
// Module `mZip`: the zip library calls of a run and the four callback routines, which find the
// instance of the run in progress and raise its events. One run at a time in the whole program.
#include "ZipLib.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>

class cZip;

// Raised to the caller of Zip or Delete when the specs do not fit the names record.
class SubscriptError : public std::out_of_range {
public:
  SubscriptError() : std::out_of_range("Subscript out of range") {}
};

namespace mZip {
// The library's three calls. Tests may put their own in place; nullptr restores the real ones.
struct Library {
  int (*ZpInit)(const ZipCallbacks*);
  int (*ZpSetOptions)(ZipOptions*);
  int (*ZpArchive)(int, const char*, const ZipNames*);
};
void setLibrary(const Library* library);

// The most specs one run takes: the names record keeps two slots after them.
constexpr int32_t MaxSpecs = ZpNameSlots - 2;

// One run: the library's result, 0 for success. Throws SubscriptError for count above MaxSpecs.
int32_t RunZip(cZip& instance, ZipOptions& options, const QStringList& specs, int32_t count);

int OnZipPrint(const char* text, unsigned long length);
int OnZipComment(char* buffer);
int OnZipPassword(char* buffer, int size, const char* prompt, const char* name);
int OnZipService(const char* text, unsigned long count);

// Every "/" after the first position becomes "\".
QString SlashToBackslash(const QString& text);
}  // namespace mZip
