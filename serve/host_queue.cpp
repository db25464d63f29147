#include "serve/host_queue.h"

namespace annotserve {

void HostQueue::Start(std::function<void()> first, std::function<void()> last) {
  thread_ = std::thread(
      [this, first = std::move(first), last = std::move(last)]() mutable { Loop(std::move(first), std::move(last)); });
}

bool HostQueue::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || jobs_.size() >= limit_) return false;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void HostQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void HostQueue::Loop(std::function<void()> first, std::function<void()> last) {
  if (first) first();
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) break;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
  if (last) last();
}

}  // namespace annotserve
