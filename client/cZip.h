#pragma once
// Class `cZip`: the options of one zip run as properties over the zip library's options record,
// the list of file specifications, and the events the library's callbacks raise. Zip and Delete
// run the library through mZip.
#include "ZipLib.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>

class cZip : public QObject {
  Q_OBJECT
public:
  // Start values: StoreDirectories, StoreFolderNames and RecurseSubDirs False; all else 0 or empty.
  explicit cZip(QObject* parent = nullptr);

  QString ZipFile() const;
  void setZipFile(const QString& path);
  // Root folder; a run changes the process's current folder to it when it is not blank.
  QString BasePath() const;
  void setBasePath(const QString& path);
  bool Encrypt() const;
  void setEncrypt(bool on);
  bool AddComment() const;
  void setAddComment(bool on);
  bool IncludeSystemAndHiddenFiles() const;
  void setIncludeSystemAndHiddenFiles(bool on);
  bool StoreVolumeLabel() const;
  void setStoreVolumeLabel(bool on);
  // The no-folder-entries flag, inverted.
  bool StoreDirectories() const;
  void setStoreDirectories(bool on);
  // The drop-folder-names flag, inverted.
  bool StoreFolderNames() const;
  void setStoreFolderNames(bool on);
  // True writes 2, False 0.
  bool RecurseSubDirs() const;
  void setRecurseSubDirs(bool on);
  bool UpdateOnlyIfNewer() const;
  void setUpdateOnlyIfNewer(bool on);
  bool FreshenFiles() const;
  void setFreshenFiles(bool on);
  // 0 verbose, 1 quiet, 2 neither; other values change nothing.
  int32_t MessageLevel() const;
  void setMessageLevel(int32_t level);
  bool ConvertCRLFToLF() const;
  void setConvertCRLFToLF(bool on);
  bool ConvertLFToCRLF() const;
  void setConvertLFToCRLF(bool on);
  void ClearFileSpecs();
  void AddFileSpec(const QString& spec);
  int32_t FileSpecCount() const;
  // The entry at a 1-based index.
  QString FileSpec(int32_t index) const;
  // True only when the flag is exactly 1.
  bool AllowAppend() const;
  void setAllowAppend(bool on);
  // Runs the library on the list; more than 1022 specs throws SubscriptError (mZip.h).
  void Zip();
  bool Success() const;
  // Deletes the entries the specs name; Success is not changed.
  void Delete();

  // The options record the properties read and write.
  const ZipOptions& options() const { return m_options; }

Q_SIGNALS:
  // Raised from the library's callbacks during a run; connect directly: handlers answer through
  // the reference arguments.
  void Cancel(const QString& message, bool& cancel);
  void PasswordRequest(QString& password, int32_t maxLength, bool confirm, bool& cancel);
  void CommentRequest(QString& comment, bool& cancel);
  void progress(int32_t count, const QString& message);

private:
  static bool flag(int32_t v) { return v != 0; }
  ZipOptions m_options{};
  QString m_zipFile;
  QStringList m_specs;
  int32_t m_lastResult = 0;
};
