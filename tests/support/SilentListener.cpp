#include "SilentListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

SilentListener::SilentListener() {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 0) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    return;
  port = ntohs(a.sin_port);
  for (int i = 0; i < 2; ++i) {
    const int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    fillers_.push_back(c);
  }
}

SilentListener::~SilentListener() {
  for (int c : fillers_) ::close(c);
  if (fd_ >= 0) ::close(fd_);
}
