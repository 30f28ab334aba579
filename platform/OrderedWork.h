#pragma once
// Work beside the user-interface thread: jobs run on the global thread pool, and what each one
// gives back is handed, on the thread that queued them, to its `done` step in the order the jobs
// were queued. Steps run only inside this object's calls (never from the event loop), and every
// wait runs the event loop, so windows and movies stay responsive. Jobs must not touch anything
// their queuing thread uses: they get their inputs by value and hand back a result.
#include <QObject>

#include <deque>
#include <functional>
#include <memory>

class QEventLoop;

class OrderedWork {
public:
  // At most `ahead` jobs are queued and not yet handed back (0: twice the pool's threads); the
  // pool runs no more of them at once than it has threads.
  explicit OrderedWork(int ahead = 0);
  // Jobs not started yet are dropped and running ones waited for; nothing more is handed back.
  ~OrderedWork();
  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  // Queues job; done(its result) runs later, after every step queued before it. Hands back what
  // is ready first, and waits while `ahead` jobs are outstanding.
  template <class R>
  void run(std::function<R()> job, std::function<void(const R&)> done) {
    auto result = std::make_shared<R>();
    queue([job = std::move(job), result] { *result = job(); }, [done = std::move(done), result] { done(*result); });
  }
  // Queues a step that runs after every step queued before it.
  void then(std::function<void()> step);
  // Waits until everything queued has been handed back.
  void finish();
  // How many jobs are queued and not yet handed back.
  int pending() const { return jobs_; }

  // Asked before each hand-back and after each wait: once it says stop, the jobs not started are
  // dropped, the running ones finish on the pool, nothing more is handed back, and later calls
  // queue nothing and return at once.
  void stopWhen(std::function<bool()> stop) { stopWhen_ = std::move(stop); }
  bool stopped();

private:
  struct Item;
  struct Shared;
  void queue(std::function<void()> job, std::function<void()> done);
  // Hands back, in order, every item that is ready.
  void handBack();
  // Lets the event loop run until a job finishes (or something else wakes it).
  void waitOnce();

  int ahead_;
  int jobs_ = 0;
  std::deque<std::shared_ptr<Item>> items_;
  std::shared_ptr<Shared> shared_;
  QEventLoop* loop_ = nullptr;
  std::function<bool()> stopWhen_;
  bool stopped_ = false;
};
