#include "cZip.h"

#include "mZip.h"

cZip::cZip(QObject* parent) : QObject(parent) {
  setStoreDirectories(false);
  setStoreFolderNames(false);
  setRecurseSubDirs(false);
}

QString cZip::ZipFile() const { return m_zipFile; }
void cZip::setZipFile(const QString& path) { m_zipFile = path; }

QString cZip::BasePath() const { return QString::fromLocal8Bit(ZpTextOf(m_options.rootFolder)); }
void cZip::setBasePath(const QString& path) { m_options.rootFolder = ZpText(path.toLocal8Bit().constData()); }

bool cZip::Encrypt() const { return flag(m_options.encrypt); }
void cZip::setEncrypt(bool on) { m_options.encrypt = on; }
bool cZip::AddComment() const { return flag(m_options.addComment); }
void cZip::setAddComment(bool on) { m_options.addComment = on; }
bool cZip::IncludeSystemAndHiddenFiles() const { return flag(m_options.includeSystemAndHidden); }
void cZip::setIncludeSystemAndHiddenFiles(bool on) { m_options.includeSystemAndHidden = on; }
bool cZip::StoreVolumeLabel() const { return flag(m_options.storeVolumeLabel); }
void cZip::setStoreVolumeLabel(bool on) { m_options.storeVolumeLabel = on; }
bool cZip::StoreDirectories() const { return m_options.noFolderEntries == 0; }
void cZip::setStoreDirectories(bool on) { m_options.noFolderEntries = on ? 0 : 1; }
bool cZip::StoreFolderNames() const { return m_options.dropFolderNames == 0; }
void cZip::setStoreFolderNames(bool on) { m_options.dropFolderNames = on ? 0 : 1; }
bool cZip::RecurseSubDirs() const { return flag(m_options.recurse); }
void cZip::setRecurseSubDirs(bool on) { m_options.recurse = on ? 2 : 0; }
bool cZip::UpdateOnlyIfNewer() const { return flag(m_options.updateOnlyNewer); }
void cZip::setUpdateOnlyIfNewer(bool on) { m_options.updateOnlyNewer = on; }
bool cZip::FreshenFiles() const { return flag(m_options.freshen); }
void cZip::setFreshenFiles(bool on) { m_options.freshen = on; }

int32_t cZip::MessageLevel() const {
  if (m_options.verbose != 0) return 0;
  if (m_options.quiet != 0) return 1;
  return 2;
}

void cZip::setMessageLevel(int32_t level) {
  switch (level) {
    case 0: m_options.verbose = 1; m_options.quiet = 0; break;
    case 1: m_options.verbose = 0; m_options.quiet = 1; break;
    case 2: m_options.verbose = 0; m_options.quiet = 0; break;
    default: break;
  }
}

bool cZip::ConvertCRLFToLF() const { return flag(m_options.crlfToLf); }
void cZip::setConvertCRLFToLF(bool on) { m_options.crlfToLf = on; }
bool cZip::ConvertLFToCRLF() const { return flag(m_options.lfToCrlf); }
void cZip::setConvertLFToCRLF(bool on) { m_options.lfToCrlf = on; }

void cZip::ClearFileSpecs() { m_specs.clear(); }
void cZip::AddFileSpec(const QString& spec) { m_specs << spec; }
int32_t cZip::FileSpecCount() const { return int32_t(m_specs.size()); }
QString cZip::FileSpec(int32_t index) const { return m_specs.value(index - 1); }

bool cZip::AllowAppend() const { return m_options.allowAppend == 1; }
void cZip::setAllowAppend(bool on) { m_options.allowAppend = on; }

void cZip::Zip() {
  m_lastResult = 0;
  m_lastResult = mZip::RunZip(*this, m_options, m_specs, FileSpecCount());
}

bool cZip::Success() const { return m_lastResult == 0; }

void cZip::Delete() {
  // The flag holds for this run only, even when the run throws.
  struct Reset {
    ZipOptions& o;
    ~Reset() { o.deleteEntries = 0; }
  } reset{m_options};
  m_options.deleteEntries = 1;
  mZip::RunZip(*this, m_options, m_specs, FileSpecCount());
}
