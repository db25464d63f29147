#include "serve/http_front.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <list>

#include "serve/serve_request.h"

namespace annotserve {

using Clock = std::chrono::steady_clock;

struct HttpFront::Connection {
  int fd = -1;
  std::string bytes;  // read and not yet handled
  Clock::time_point deadline;
  std::list<Connection*>::iterator place;  // in the reading thread's list while it waits there
};

namespace {

// Accepted per turn of the loop, so that a burst of connections cannot
// push out, unread, one whose request has already arrived.
constexpr int kAcceptsPerTurn = 64;
constexpr size_t kReadChunk = 16 * 1024;

// Rounded up: a wait that ends before the deadline would only wake to wait again.
int MillisecondsUntil(Clock::time_point t) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(ms, 0, 1000));
}

void CloseConnection(HttpFront::Connection* c) {
  ::close(c->fd);
  delete c;
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    default: return "Request Header Fields Too Large";
  }
}

// What the person is told of a request refused before it was read whole.
const char* Why(int status) {
  switch (status) {
    case 400: return "the request's length is not one number";
    case 411: return "the request's body has no length";
    case 413: return "the request is too large";
    default: return "the request's head is too large";
  }
}

// One request's bytes for httplib: what the reading thread already has,
// then the socket, both within the request's deadline. Writes wait for the
// socket at most `writeTimeout` at a time.
class BufferedStream : public httplib::Stream {
 public:
  BufferedStream(int fd, std::string bytes, Clock::time_point deadline, std::chrono::milliseconds writeTimeout)
      : fd_(fd), bytes_(std::move(bytes)), deadline_(deadline), writeTimeout_(writeTimeout) {}

  bool is_readable() const override { return offset_ < bytes_.size() || Wait(POLLIN, MillisecondsLeft()); }
  bool is_writable() const override { return Wait(POLLOUT, static_cast<int>(writeTimeout_.count())); }

  ssize_t read(char* ptr, size_t size) override {
    if (offset_ == bytes_.size()) {
      bytes_.clear();
      offset_ = 0;
      const ssize_t n = Fill();
      if (n <= 0) return n;
    }
    const size_t n = std::min(size, bytes_.size() - offset_);
    std::memcpy(ptr, bytes_.data() + offset_, n);
    offset_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    size_t done = 0;
    while (done < size) {
      const ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (!Wait(POLLOUT, static_cast<int>(writeTimeout_.count()))) return -1;
      } else {
        return -1;
      }
    }
    return static_cast<ssize_t>(done);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { Address(false, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { Address(true, ip, port); }
  socket_t socket() const override { return fd_; }

  // What came after the request (the next one of a client that does not
  // wait for answers).
  std::string Unread() { return bytes_.substr(offset_); }

 private:
  int MillisecondsLeft() const {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    return static_cast<int>(std::max<long long>(ms, 0));
  }
  bool Wait(short events, int timeoutMs) const {
    pollfd p{fd_, events, 0};
    for (;;) {
      const int n = ::poll(&p, 1, timeoutMs);
      if (n < 0 && errno == EINTR) continue;
      return n > 0 && (p.revents & events);
    }
  }
  // -1 when the deadline passed or the socket failed, 0 at its end.
  ssize_t Fill() {
    for (;;) {
      if (!Wait(POLLIN, MillisecondsLeft())) return -1;
      bytes_.resize(kReadChunk);
      const ssize_t n = ::recv(fd_, bytes_.data(), kReadChunk, MSG_DONTWAIT);
      bytes_.resize(n > 0 ? static_cast<size_t>(n) : 0);
      if (n >= 0) return n;
      if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    }
  }
  void Address(bool local, std::string& ip, int& port) const {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    auto* sa = reinterpret_cast<sockaddr*>(&addr);
    if ((local ? ::getsockname(fd_, sa, &len) : ::getpeername(fd_, sa, &len)) != 0 || addr.ss_family != AF_INET)
      return;
    const auto* in = reinterpret_cast<sockaddr_in*>(&addr);
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(in->sin_port);
  }

  int fd_;
  std::string bytes_;
  size_t offset_ = 0;
  Clock::time_point deadline_;
  std::chrono::milliseconds writeTimeout_;
};

}  // namespace

HttpFront::HttpFront(Handler handler, Limits limits) : handler_(std::move(handler)), limits_(limits) {
  // Every waiting connection holds a descriptor; leave room for the
  // document, the plug-in's files and the workers' own.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
    limits_.connections = std::clamp<size_t>(files.rlim_cur / 2, 16, limits_.connections);
}

HttpFront::~HttpFront() {
  Stop();
  if (listenFd_ >= 0) ::close(listenFd_);
}

int HttpFront::Listen(const std::string& host, int port, std::string* error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) {
    *error = "not an IPv4 address: " + host;
    return 0;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int yes = 1;
  if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, limits_.backlog) != 0) {
    *error = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return 0;
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  listenFd_ = fd;
  return ntohs(addr.sin_port);
}

void HttpFront::Start() {
  epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event listen{EPOLLIN, {}};
  listen.data.ptr = &listenFd_;
  ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &listen);
  epoll_event wake{EPOLLIN, {}};
  wake.data.ptr = &wakeFd_;
  ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &wake);
  loop_ = std::thread([this] { Loop(); });
  for (size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
}

void HttpFront::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || !loop_.joinable()) return;
    stopping_ = true;
  }
  ready_.notify_all();
  const uint64_t one = 1;
  (void)!::write(wakeFd_, &one, sizeof one);
  loop_.join();
  for (auto& w : workers_) w.join();
  workers_.clear();
  for (Connection* c : returned_) CloseConnection(c);
  returned_.clear();
  ::close(epollFd_);
  ::close(wakeFd_);
}

void HttpFront::Handoff(Connection* c) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(c);
  }
  ready_.notify_one();
}

void HttpFront::Loop() {
  std::list<Connection*> waiting;  // oldest first: their deadlines come in this order
  auto watch = [&](Connection* c) {
    c->deadline = Clock::now() + limits_.requestDeadline;
    waiting.push_back(c);
    c->place = std::prev(waiting.end());
    epoll_event e{EPOLLIN | EPOLLRDHUP, {}};
    e.data.ptr = c;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, c->fd, &e);
  };
  auto unwatch = [&](Connection* c) {
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, c->fd, nullptr);
    waiting.erase(c->place);
  };
  // A connection dropped while a batch of events is handled may still have
  // an event later in the batch: it is closed at once and freed after.
  std::vector<Connection*> dropped;
  auto drop = [&](Connection* c) {
    unwatch(c);
    ::close(c->fd);
    c->fd = -1;
    dropped.push_back(c);
  };
  // A whole request goes to a worker; one that cannot be taken is answered
  // here and the connection closed.
  auto examine = [&](Connection* c) {
    const RequestExtent extent =
        MeasureRequest(c->bytes, limits_.headLimit, limits_.bodyLimit, limits_.uploadPath, limits_.uploadLimit);
    if (extent.state == RequestExtent::State::Incomplete) return;
    unwatch(c);
    if (extent.state == RequestExtent::State::Whole) {
      // A request without a length has no body; httplib would wait for
      // the connection's end as the body's, so the head says so.
      if (!extent.lengthGiven) {
        const bool crlf = extent.headSize >= 4 && c->bytes.compare(extent.headSize - 4, 4, "\r\n\r\n") == 0;
        c->bytes.insert(extent.headSize - (crlf ? 2 : 1), crlf ? "Content-Length: 0\r\n" : "Content-Length: 0\n");
      }
      return Handoff(c);
    }
    const std::string body = std::string("{\"error\": \"") + Why(extent.status) + "\"}";
    const std::string answer = "HTTP/1.1 " + std::to_string(extent.status) + " " + Reason(extent.status) +
                               "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\nConnection: close\r\n\r\n" + body;
    (void)!::send(c->fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    CloseConnection(c);
  };
  bool listening = true;
  Clock::time_point listenAgain;
  auto setListening = [&](bool on) {
    epoll_event e{on ? static_cast<uint32_t>(EPOLLIN) : 0u, {}};
    e.data.ptr = &listenFd_;
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &e);
    listening = on;
  };
  auto accept = [&] {
    for (int i = 0; i < kAcceptsPerTurn; ++i) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // No descriptor for it: the oldest waiting connection makes room,
          // or, with none, the listener rests a moment instead of spinning.
          if (!waiting.empty()) {
            drop(waiting.front());
            continue;
          }
          setListening(false);
          listenAgain = Clock::now() + std::chrono::milliseconds(100);
        }
        return;
      }
      const int yes = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
      if (waiting.size() >= limits_.connections) drop(waiting.front());
      auto* c = new Connection;
      c->fd = fd;
      watch(c);
    }
  };
  epoll_event events[64];
  for (;;) {
    int timeout = waiting.empty() ? 1000 : MillisecondsUntil(waiting.front()->deadline);
    if (!listening) timeout = std::min(timeout, MillisecondsUntil(listenAgain));
    const int n = ::epoll_wait(epollFd_, events, 64, timeout);
    bool stop = false;
    for (int i = 0; i < n; ++i) {
      void* what = events[i].data.ptr;
      if (what == &listenFd_) {
        accept();
      } else if (what == &wakeFd_) {
        uint64_t count;
        (void)!::read(wakeFd_, &count, sizeof count);
        std::deque<Connection*> back;
        {
          std::lock_guard lock(mutex_);
          stop = stopping_;
          back.swap(returned_);
        }
        for (Connection* c : back) {
          watch(c);
          examine(c);  // the next request may be there already
        }
      } else {
        auto* c = static_cast<Connection*>(what);
        if (c->fd < 0) continue;
        const size_t had = c->bytes.size();
        c->bytes.resize(had + kReadChunk);
        const ssize_t got = ::recv(c->fd, c->bytes.data() + had, kReadChunk, 0);
        c->bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
          drop(c);
          continue;
        }
        examine(c);
      }
    }
    const auto now = Clock::now();
    while (!waiting.empty() && waiting.front()->deadline <= now) drop(waiting.front());
    if (!listening && now >= listenAgain) setListening(true);
    for (Connection* c : dropped) delete c;
    dropped.clear();
    if (stop) break;
  }
  while (!waiting.empty()) drop(waiting.front());
  for (Connection* c : dropped) delete c;
}

void HttpFront::Work() {
  for (;;) {
    Connection* c = nullptr;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [&] { return stopping_ || !requests_.empty(); });
      if (requests_.empty()) return;
      c = requests_.front();
      requests_.pop_front();
    }
    // The rest of a body that waited for "100 Continue" has the request's
    // own time; the head and the body were read within it before.
    BufferedStream stream(c->fd, std::move(c->bytes), Clock::now() + limits_.requestDeadline, limits_.writeTimeout);
    const bool keep = handler_(stream);
    c->bytes = stream.Unread();
    bool back = false;
    {
      std::lock_guard lock(mutex_);
      if (keep && !stopping_) {
        returned_.push_back(c);
        back = true;
      }
    }
    if (back) {
      const uint64_t one = 1;
      (void)!::write(wakeFd_, &one, sizeof one);
    } else {
      ::shutdown(c->fd, SHUT_RDWR);
      CloseConnection(c);
    }
  }
}

}  // namespace annotserve
