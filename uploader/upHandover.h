#pragma once
// The hand-over text `upHandover` by which the client passes a task: "upload@@;", the design
// name, ";" and the server design id. Fields after the third are ignored.
#include <QString>
#include <optional>

struct upHandover {
  QString dNO;   // the design name
  QString wDNO;  // the server design id
};

// The task a clipboard text hands over, or nothing. The marker must be exact and the text must
// hold three fields. The design name names a folder under "MyDesign" and the id a remote file
// and part of FTP commands, so neither may lead elsewhere: the name is not empty, "." or "..",
// and holds no "/", "\" or control character; the id is not empty and holds no blank, control
// character, "/" or "\". Neither holds a character that XML cannot carry, so the task list
// stays readable.
std::optional<upHandover> parseHandover(const QString& text);
