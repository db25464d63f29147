// annot serve under clients that hold connections or send what it cannot
// take: slow headers, a flood of connections at once, oversized requests.
// All on 127.0.0.1, every loop bounded in count and time.
#include <poll.h>
#include <sys/resource.h>

#include <cstdio>

#include "serve/serve_test_support.h"

namespace {

using namespace annotserve::testing;
using Clock = std::chrono::steady_clock;

// Asks /api/state on a new connection every `every` until `until`; the
// slowest answer, or a minute when one did not come within `limit`.
struct Probe {
  std::chrono::milliseconds slowest{0};
  int asked = 0, failed = 0;
};
Probe ProbeUntil(ServeProcess& server, Clock::time_point until, std::chrono::milliseconds every,
                 std::chrono::seconds limit = std::chrono::seconds(2)) {
  Probe probe;
  for (int i = 0; i < 200 && Clock::now() < until; ++i) {
    httplib::Client client("127.0.0.1", server.port());
    client.set_connection_timeout(limit);
    client.set_read_timeout(limit);
    const auto t0 = Clock::now();
    auto r = client.Get("/api/state", {{"X-Annot-Token", server.token()}});
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0);
    ++probe.asked;
    if (!r || r->status != 200) {
      ++probe.failed;
      probe.slowest = std::chrono::minutes(1);
    }
    probe.slowest = std::max(probe.slowest, took);
    std::this_thread::sleep_for(every);
  }
  return probe;
}

class ServeLoadTest : public ServeTest {
 protected:
  void SetUp() override {
    ServeTest::SetUp();
    // The host started, so that a probe measures the connection alone.
    ASSERT_NE(State(), "");
    // Room for a thousand sockets of our own.
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 4096));
    setrlimit(RLIMIT_NOFILE, &files);
  }
};

// Sixteen clients without the token that send a request line and then a
// header every 3 s: the server keeps answering within a second, and closes
// their connections once their time for a request is up.
TEST_F(ServeLoadTest, SlowHeadersDoNotStopTheServerAnswering) {
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server_.port()) + "\r\n";
  std::vector<int> slow;
  for (int i = 0; i < 16; ++i) {
    const int fd = Connect(server_.port());
    ASSERT_GE(fd, 0);
    const std::string line = "GET /api/state HTTP/1.1\r\n" + host;
    ASSERT_EQ(send(fd, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
    slow.push_back(fd);
  }
  std::atomic<bool> done{false};
  std::thread dripping([&] {
    for (int round = 1; round <= 3 && !done; ++round) {
      for (int t = 0; t < 30 && !done; ++t) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      const std::string header = "X-Slow-" + std::to_string(round) + ": yes\r\n";
      for (int fd : slow) (void)send(fd, header.data(), header.size(), MSG_NOSIGNAL);
    }
  });
  const Probe probe = ProbeUntil(server_, Clock::now() + std::chrono::seconds(7), std::chrono::milliseconds(250));
  done = true;
  dripping.join();
  std::printf("slow headers: %d answers, the slowest in %lld ms\n", probe.asked,
              static_cast<long long>(probe.slowest.count()));
  EXPECT_EQ(probe.failed, 0) << "of " << probe.asked;
  EXPECT_LT(probe.slowest, std::chrono::seconds(1)) << probe.slowest.count() << " ms";
  // After 7 s each slow connection has been closed by the server: reading
  // it finds its end (or a reset), never more waiting.
  int closed = 0;
  for (int fd : slow) {
    pollfd p{fd, POLLIN, 0};
    char buf[512];
    if (poll(&p, 1, 2000) == 1 && recv(fd, buf, sizeof buf, MSG_DONTWAIT) <= 0) ++closed;
    close(fd);
  }
  EXPECT_EQ(closed, 16);
}

// A thousand connections at once, half of them with the start of a request
// and half silent: some may be refused or closed, but a normal request is
// answered within a second throughout, and after them.
TEST_F(ServeLoadTest, AThousandConnectionsAtOnceLeaveItAnswering) {
  std::vector<int> flood;
  std::atomic<bool> go{false};
  Probe probe;
  std::thread prober([&] {
    while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    probe = ProbeUntil(server_, Clock::now() + std::chrono::seconds(4), std::chrono::milliseconds(100));
  });
  go = true;
  int refused = 0;
  for (int i = 0; i < 1000; ++i) {
    const int fd = Connect(server_.port(), false);
    if (fd < 0) {
      ++refused;
      continue;
    }
    flood.push_back(fd);
  }
  // Those that connected: every other one sends half a request line.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (size_t i = 0; i < flood.size(); i += 2) (void)send(flood[i], "GET / HT", 8, MSG_NOSIGNAL);
  prober.join();
  for (int fd : flood) close(fd);
  std::printf("1,000 connections (%d refused): %d answers, the slowest in %lld ms\n", refused, probe.asked,
              static_cast<long long>(probe.slowest.count()));
  EXPECT_EQ(probe.failed, 0) << "of " << probe.asked << "; " << refused << " connections refused";
  EXPECT_LT(probe.slowest, std::chrono::seconds(1)) << probe.slowest.count() << " ms";
  EXPECT_GE(probe.asked, 10);
  auto r = client_->Get("/api/state", Auth());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, 200);
}

// Requests the reading thread refuses by their shape, and two requests
// sent in one go on one connection, answered in order.
TEST_F(ServeLoadTest, OversizedOrUnmeasuredRequestsAreRefusedAndPipelinedOnesAnswered) {
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server_.port()) + "\r\n";
  const std::string token = "X-Annot-Token: " + server_.token() + "\r\n";
  struct Case {
    const char* what;
    std::string request;
    const char* status;
  };
  const std::vector<Case> cases = {
      {"a head of 20 kB", "GET /api/state HTTP/1.1\r\n" + host + "X-Big: " + std::string(20000, 'a') + "\r\n\r\n",
       "HTTP/1.1 431"},
      {"a body of 100 kB", "POST /api/event HTTP/1.1\r\n" + host + token + "Content-Length: 100000\r\n\r\n",
       "HTTP/1.1 413"},
      {"a body without a length", "POST /api/event HTTP/1.1\r\n" + host + token + "Transfer-Encoding: chunked\r\n\r\n",
       "HTTP/1.1 411"},
      {"two lengths", "POST /api/undo HTTP/1.1\r\n" + host + token + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab",
       "HTTP/1.1 400"},
  };
  for (const Case& c : cases) {
    const std::string answer = Exchange(server_.port(), c.request);
    EXPECT_EQ(answer.rfind(c.status, 0), 0u) << c.what << ": " << answer.substr(0, 80);
  }
  const std::string get = "GET /api/state?pipelined=1 HTTP/1.1\r\n" + host + token + "\r\n";
  const std::string both = Exchange(server_.port(), get + get);
  const size_t first = both.find("HTTP/1.1 200");
  ASSERT_NE(first, std::string::npos) << both.substr(0, 200);
  EXPECT_NE(both.find("HTTP/1.1 200", first + 1), std::string::npos) << "the second request is answered too";
}

}  // namespace
