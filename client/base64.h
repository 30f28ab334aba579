#pragma once
// Module `base64`: standard Base64 text to bytes.
#include <QByteArray>
#include <QString>
#include <QStringView>

// The bytes of a whole Base64 text; ok (when given) is false for a text that is not Base64.
// Blanks and line breaks in the text are ignored.
QByteArray DecodeBase64(const QString& text, bool* ok = nullptr);

// Decodes a Base64 text that arrives in pieces. A piece may end anywhere, inside a 4-character
// group too: what cannot be decoded yet waits for the next piece. The bytes of all pieces
// together equal DecodeBase64 of the whole text.
class Base64Stream {
public:
  // The bytes of the groups completed by this piece; nothing once the text has failed.
  QByteArray feed(QStringView piece);
  // The bytes of a last group written without its padding; ends the text.
  QByteArray finish();
  // True once the text was found not to be Base64.
  bool failed() const { return failed_; }
  void reset();

private:
  QByteArray pending_;  // characters of groups not decoded yet
  bool padded_ = false;  // a group with "=" ended the text
  bool failed_ = false;
};
