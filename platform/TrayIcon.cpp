#include "TrayIcon.h"

#include <QIcon>
#include <QSystemTrayIcon>
#include <memory>

namespace {
class QtTrayIcon : public TrayIconPort {
public:
  bool isAvailable() override { return QSystemTrayIcon::isSystemTrayAvailable(); }

  void add(const QIcon& icon, std::function<void()> onLeftButtonUp) override {
    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    // A single click with the left button; double clicks, the middle and the right button do nothing.
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                     [f = std::move(onLeftButtonUp)](QSystemTrayIcon::ActivationReason reason) {
                       if (reason == QSystemTrayIcon::Trigger && f) f();
                     });
    icon_->show();
  }

  void setTip(const QString& tip) override {
    if (icon_) icon_->setToolTip(tip);
  }

  void remove() override { icon_.reset(); }

private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};
}  // namespace

TrayIconPort* qtTrayIcon() {
  static QtTrayIcon tray;
  return &tray;
}
