#include "OrderedWork.h"

#include <QEventLoop>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

#include <atomic>

struct OrderedWork::Item {
  std::function<void()> job;  // empty for a step
  std::function<void()> done;
  std::atomic<bool> ready{false};
};

// What the pool's threads share with the queuing thread.
struct OrderedWork::Shared {
  QMutex mutex;
  QWaitCondition idle;
  int running = 0;  // given to the pool and not yet finished
  std::atomic<bool> cancelled{false};
  QObject* waker = nullptr;  // lives on the queuing thread; told when a job has finished
};

OrderedWork::OrderedWork(int ahead)
    : ahead_(ahead > 0 ? ahead : 2 * std::max(1, QThreadPool::globalInstance()->maxThreadCount())),
      shared_(std::make_shared<Shared>()) {
  shared_->waker = new QObject;
}

OrderedWork::~OrderedWork() {
  shared_->cancelled = true;
  QMutexLocker lock(&shared_->mutex);
  while (shared_->running > 0) shared_->idle.wait(&shared_->mutex);
  // Deleting it drops any wake-up still on its way.
  delete shared_->waker;
  shared_->waker = nullptr;
}

bool OrderedWork::stopped() {
  if (stopped_ || !stopWhen_ || !stopWhen_()) return stopped_;
  stopped_ = true;
  shared_->cancelled = true;
  items_.clear();
  jobs_ = 0;
  return true;
}

void OrderedWork::queue(std::function<void()> job, std::function<void()> done) {
  handBack();
  while (jobs_ >= ahead_ && !stopped()) {
    waitOnce();
    handBack();
  }
  if (stopped()) return;
  auto item = std::make_shared<Item>();
  item->job = std::move(job);
  item->done = std::move(done);
  items_.push_back(item);
  ++jobs_;
  {
    QMutexLocker lock(&shared_->mutex);
    ++shared_->running;
  }
  QThreadPool::globalInstance()->start([item, shared = shared_, self = this] {
    if (!shared->cancelled) {
      try {
        item->job();
      } catch (...) {
        // A job that fails (out of memory) hands back its result as it stands.
      }
    }
    item->ready.store(true, std::memory_order_release);
    QMutexLocker lock(&shared->mutex);
    if (shared->waker)
      QMetaObject::invokeMethod(
          shared->waker, [self] { if (self->loop_) self->loop_->quit(); }, Qt::QueuedConnection);
    --shared->running;
    shared->idle.wakeAll();
  });
}

void OrderedWork::then(std::function<void()> step) {
  if (stopped()) return;
  auto item = std::make_shared<Item>();
  item->done = std::move(step);
  item->ready = true;
  items_.push_back(item);
  handBack();
}

void OrderedWork::finish() {
  handBack();
  while (!items_.empty() && !stopped()) {
    waitOnce();
    handBack();
  }
}

void OrderedWork::handBack() {
  // Taken off the queue before it runs: a step that lets events run, and so comes back here,
  // only starts the ones after it.
  while (!items_.empty() && !stopped() && items_.front()->ready.load(std::memory_order_acquire)) {
    const std::shared_ptr<Item> item = items_.front();
    items_.pop_front();
    if (item->job) --jobs_;
    item->done();
  }
}

void OrderedWork::waitOnce() {
  if (!items_.empty() && items_.front()->ready.load(std::memory_order_acquire)) return;
  QEventLoop loop;
  QEventLoop* outer = loop_;
  loop_ = &loop;
  loop.exec();
  loop_ = outer;
  // A wake-up meant for the outer wait may have ended this one: let that one look again.
  if (outer) outer->quit();
}
