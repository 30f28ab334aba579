#include "ZipReader.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QProcess>

namespace {
const char* kScript = R"PY(
import sys, json, zipfile, hashlib
path, pwd, maxread = sys.argv[1], sys.argv[2], int(sys.argv[3])
out = {"ok": True, "members": []}
try:
    with zipfile.ZipFile(path) as z:
        out["comment"] = z.comment.hex()
        for i in z.infolist():
            m = {"name": i.filename, "method": i.compress_type, "size": i.file_size,
                 "compressed": i.compress_size, "flag": i.flag_bits, "offset": i.header_offset,
                 "dir": i.is_dir()}
            if (maxread < 0 or i.file_size <= maxread) and not i.is_dir():
                h = hashlib.sha256()
                head = b""
                with z.open(i, pwd=pwd.encode() if pwd else None) as f:
                    while True:
                        b = f.read(1 << 20)
                        if not b:
                            break
                        if len(head) < 64:
                            head += b[:64 - len(head)]
                        h.update(b)
                m["sha256"] = h.hexdigest()
                m["head"] = head.hex()
            out["members"].append(m)
except Exception as e:
    out = {"ok": False, "error": repr(e)}
print(json.dumps(out))
)PY";
}

QJsonObject ZipReadOut::member(const QString& name) const {
  for (const auto& m : members)
    if (m.toObject().value("name").toString() == name) return m.toObject();
  return {};
}

QStringList ZipReadOut::names() const {
  QStringList out;
  for (const auto& m : members) out << m.toObject().value("name").toString();
  return out;
}

ZipReadOut readZipWithPython(const QString& archive, const QString& password, qint64 maxRead) {
  QProcess p;
  p.start("python3", {"-c", kScript, archive, password, QString::number(maxRead)});
  ZipReadOut out;
  if (!p.waitForFinished(240000)) {
    p.kill();
    p.waitForFinished();
    out.error = "python did not finish";
    return out;
  }
  const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
  out.ok = o.value("ok").toBool();
  out.error = o.value("error").toString() + QString::fromUtf8(p.readAllStandardError());
  out.comment = QByteArray::fromHex(o.value("comment").toString().toLatin1());
  out.members = o.value("members").toArray();
  return out;
}

QByteArray readZipMember(const QString& archive, const QString& name) {
  QProcess p;
  p.start("python3", {"-c", "import sys,zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))",
                      archive, name});
  return p.waitForFinished(240000) ? p.readAllStandardOutput() : QByteArray();
}

bool unzipTestOk(const QString& archive, QString* output) {
  QProcess p;
  p.start("unzip", {"-t", archive});
  const bool done = p.waitForFinished(240000);
  if (output) *output = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
  return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString sha256Hex(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}
