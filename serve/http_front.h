// The server's side of its connections, in front of httplib's request
// handling. One thread accepts connections and reads requests from all of
// them at once (epoll); only a request that has fully arrived goes to one
// of the worker threads, which has httplib route it and write the answer.
// So a client that sends its headers slowly, or opens a connection and
// sends nothing, holds a file descriptor for a few seconds at most and
// never a worker: the next request is answered as soon as it arrives.
//
// Each request must arrive whole within `requestDeadline` of the moment
// its connection was accepted or its previous answer was written;
// otherwise the connection is closed. Connections beyond `connections` are
// closed oldest first, as are connections the system has no descriptors
// left for. A request head over `headLimit` bytes is answered 431, a body
// over `bodyLimit` bytes 413 (a POST to `uploadPath` may carry up to
// `uploadLimit`), a body without a length 411; each with the reason as
// JSON, {"error": ...}, as the routes refuse.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Stream;
}

namespace annotserve {

class HttpFront {
 public:
  struct Limits {
    size_t workers = 16;
    size_t connections = 512;  // waiting for a request; lowered to what the descriptor limit allows
    std::chrono::milliseconds requestDeadline{5000};
    std::chrono::milliseconds writeTimeout{5000};
    size_t headLimit = 16 * 1024;
    size_t bodyLimit = 64 * 1024;
    std::string uploadPath;  // empty: none
    size_t uploadLimit = 0;
    int backlog = 1024;
  };
  // Handles one request read from `stream` and writes its answer; false
  // when the connection is to be closed (it broke, or the answer says so).
  using Handler = std::function<bool(httplib::Stream& stream)>;

  HttpFront(Handler handler, Limits limits);
  ~HttpFront();  // stops
  HttpFront(const HttpFront&) = delete;
  HttpFront& operator=(const HttpFront&) = delete;

  // Listens on `host`:`port` (0: any free port); the port, or 0 with the
  // reason.
  int Listen(const std::string& host, int port, std::string* error);
  // Starts the reading thread and the workers.
  void Start();
  // Stops accepting, closes the connections that wait for a request, lets
  // the workers finish the requests they have, and joins every thread.
  void Stop();

  struct Connection;

 private:
  void Loop();
  void Work();
  void Handoff(Connection* c);

  Handler handler_;
  Limits limits_;
  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  bool stopping_ = false;  // under mutex_
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Connection*> requests_;  // whole requests for the workers
  std::deque<Connection*> returned_;  // kept-alive connections back from the workers
  std::thread loop_;
  std::vector<std::thread> workers_;
};

}  // namespace annotserve
