#pragma once
// A listening socket on 127.0.0.1 that never accepts and whose queue is already full: the
// kernel drops further connection attempts, so a connect to it neither succeeds nor is refused.
#include <QtGlobal>
#include <vector>

struct SilentListener {
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  quint16 port = 0;  // 0 when it could not be set up

private:
  int fd_ = -1;
  std::vector<int> fillers_;
};
