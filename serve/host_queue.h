// The one thread that owns the editor. The host is not thread-safe, so
// every request that touches it becomes a job run here in arrival order.
// The queue holds at most `limit` jobs: a request that finds it full is
// refused at once instead of growing memory.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace annotserve {

class HostQueue {
 public:
  explicit HostQueue(size_t limit) : limit_(limit) {}
  ~HostQueue() { Stop(); }
  HostQueue(const HostQueue&) = delete;
  HostQueue& operator=(const HostQueue&) = delete;

  // Starts the thread; `first` runs on it before any job.
  void Start(std::function<void()> first, std::function<void()> last);
  // False when the queue is full or stopped; the job is then dropped unrun.
  bool Post(std::function<void()> job);
  // Runs the jobs already queued, then `last`, and joins the thread.
  void Stop();
  bool OnHostThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Loop(std::function<void()> first, std::function<void()> last);
  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace annotserve
