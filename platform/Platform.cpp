#include "Platform.h"
#include "DetachedProcess.h"
#include "TrayIcon.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {
Platform* current = nullptr;

class QtMessageBox : public MessageBoxPort {
public:
  int show(QWidget* parent, const QString& text, const QString& title, int style) override {
    QMessageBox box(parent);
    box.setText(text);
    box.setWindowTitle(title);
    switch (style & 0x70) {
      case Msg::Critical: box.setIcon(QMessageBox::Critical); break;
      case Msg::Question: box.setIcon(QMessageBox::Question); break;
      case Msg::Exclamation: box.setIcon(QMessageBox::Warning); break;
      case Msg::Information: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    struct B { QMessageBox::StandardButton b; int answer; };
    std::vector<B> buttons;
    switch (style & 0x0F) {
      case Msg::OKCancel: buttons = {{QMessageBox::Ok, Msg::OK}, {QMessageBox::Cancel, Msg::Cancel}}; break;
      case Msg::AbortRetryIgnore:
        buttons = {{QMessageBox::Abort, Msg::Abort}, {QMessageBox::Retry, Msg::Retry}, {QMessageBox::Ignore, Msg::Ignore}};
        break;
      case Msg::YesNoCancel:
        buttons = {{QMessageBox::Yes, Msg::Yes}, {QMessageBox::No, Msg::No}, {QMessageBox::Cancel, Msg::Cancel}};
        break;
      case Msg::YesNo: buttons = {{QMessageBox::Yes, Msg::Yes}, {QMessageBox::No, Msg::No}}; break;
      case Msg::RetryCancel: buttons = {{QMessageBox::Retry, Msg::Retry}, {QMessageBox::Cancel, Msg::Cancel}}; break;
      default: buttons = {{QMessageBox::Ok, Msg::OK}}; break;
    }
    QMessageBox::StandardButtons all;
    for (auto& b : buttons) all |= b.b;
    box.setStandardButtons(all);
    const auto clicked = static_cast<QMessageBox::StandardButton>(box.exec());
    for (auto& b : buttons)
      if (b.b == clicked) return b.answer;
    // Closing the box by its close button counts as Cancel where there is one, else as the only button.
    return (all & QMessageBox::Cancel) ? Msg::Cancel : buttons.front().answer;
  }
};

class QtFileDialog : public FileDialogPort {
public:
  QStringList openFiles(QWidget* parent, const QString& title, const QString& filterName,
                        const QString& patterns, bool multiple) override {
    const QString filter = filterName + " (" + QString(patterns).replace(';', ' ') + ")";
    if (multiple) return QFileDialog::getOpenFileNames(parent, title, QString(), filter);
    const QString one = QFileDialog::getOpenFileName(parent, title, QString(), filter);
    return one.isEmpty() ? QStringList() : QStringList{one};
  }
};

class QtProcess : public ProcessPort {
public:
  qint64 startDetached(const QString& program, const QStringList& args) override {
    return DetachedProcess::start(program, args, QFileInfo(program).absolutePath());
  }
  bool openUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }
  void exitProgram(int code) override {
    // At once: no window is asked to close and nothing is saved.
    fflush(stdout);
    fflush(stderr);
    std::_Exit(code);
  }
};

class QtClipboard : public ClipboardPort {
public:
  void clear() override { QGuiApplication::clipboard()->clear(); }
  bool hasText() override { return !QGuiApplication::clipboard()->text().isEmpty(); }
  QString text() override { return QGuiApplication::clipboard()->text(); }
  void setText(const QString& t) override { QGuiApplication::clipboard()->setText(t); }
};
}  // namespace

Platform& platform() {
  if (!current) current = &qtPlatform();
  return *current;
}

void setPlatform(Platform* p) { current = p; }

Platform& qtPlatform() {
  static QtMessageBox msgBox;
  static QtFileDialog fileDialog;
  static QtProcess process;
  static QtClipboard clipboard;
  // The movie and web page controls are added by WebControls::install, in the programs that show them.
  static Platform p{&msgBox, &fileDialog, &process, &clipboard};
  if (!p.tray) p.tray = qtTrayIcon();
  return p;
}
