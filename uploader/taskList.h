#pragma once
// The task list "set.xml": root `list`, one element `l` per task with the attributes `dno`,
// `wdno`, `uped` and `real` in that order, UTF-8 without a declaration, indentation or line
// breaks. Reading and writing are pure functions of their input, so anything a file may hold
// can be fed to the reader.
#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

// One element of the list with its attributes. Elements are kept with every attribute they
// carry, so an element this program cannot use still goes back into the file unchanged.
struct taskItem {
  QString tag = QStringLiteral("l");
  QList<std::pair<QString, QString>> attributes;

  // The attribute's text; present tells whether the element carries it.
  QString value(const QString& name, bool* present = nullptr) const;
  // Sets the attribute, adding it when missing.
  void set(const QString& name, const QString& value);
};

// A new task's element: the design name, the server id, "False", "False".
taskItem newTaskItem(const QString& dNO, const QString& wDNO);

struct TaskListRead {
  bool parsed = false;  // false: not XML, too large or too deep, or its root is not `list`
  QList<taskItem> items;
};

// The most characters a list file may hold; ten thousand tasks take about 1 MB.
constexpr qsizetype kMaxTaskListChars = 16 * 1024 * 1024;

// The elements of the list text in document order; text between them is dropped. A leading
// byte-order mark is passed over.
TaskListRead readTaskList(const QString& text);

// The file's bytes for the elements. The four task attributes come first, in their order,
// then any others the element carried, by name.
QByteArray writeTaskList(const QList<taskItem>& items);

// Writes the list to path beside the old file and renames it over that, so a kill at any moment
// leaves the old or the new list whole. False when it could not be written; the old file stays.
bool saveTaskList(const QString& path, const QList<taskItem>& items);

// A truth value of `uped` or `real`: "True" and "False" in any letter case, or a decimal number
// (true unless 0), blanks around either allowed. ok is false for any other text.
bool truthValue(const QString& text, bool* ok);

// What the start-up makes of an element. An element that lacks one of the four attributes or
// holds another text in `uped` or `real` is restored as an unfinished task with the names it has.
struct RestoredTask {
  QString dNO;
  QString wDNO;
  bool uped = false;
  bool real = false;
};
RestoredTask restoredTask(const taskItem& item);
