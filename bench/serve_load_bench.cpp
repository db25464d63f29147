// annot serve under load: 10,000 pointer moves of a measuring gesture over
// one kept-alive connection on 127.0.0.1, each waiting for its answer (the
// display list the page draws). Reports the answer times' percentiles and
// the server's memory before and after; `--minute` then keeps up 1,000
// events a second for 60 seconds and reports memory again.
//
//   build/bin/serve_load_bench [--minute] [--events N]
//
// Runs `annot serve` beside it from the same build (ANNOT_BUILD_DIR or the
// program's build folder) on a fresh floor plan in a temporary folder.
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string BuildDir() {
  if (const char* d = std::getenv("ANNOT_BUILD_DIR"); d && *d) return d;
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path().parent_path().string();
}

long RssKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
  bool minute = false;
  int events = 10000;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--minute")
      minute = true;
    else if (a == "--events" && i + 1 < argc)
      events = std::max(1, std::atoi(argv[++i]));
    else {
      std::fprintf(stderr, "usage: serve_load_bench [--minute] [--events N]\n");
      return 2;
    }
  }
  const std::string annot = BuildDir() + "/bin/annot";
  const fs::path dir = fs::temp_directory_path() / ("annot_serve_load_" + std::to_string(getpid()));
  fs::create_directories(dir);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  const std::string plan = (dir / "plan.pdf").string();
  if (std::system((annot + " sample floorplan -o '" + plan + "' >/dev/null").c_str()) != 0) return 1;

  int out[2];
  if (pipe(out) != 0) return 1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    execl(annot.c_str(), annot.c_str(), "serve", plan.c_str(), "--lang", "en-US", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  FILE* in = fdopen(out[0], "r");
  char line[512];
  int port = 0;
  std::string token;
  while (!port && fgets(line, sizeof line, in)) {
    std::smatch m;
    std::string text = line;
    if (std::regex_search(text, m, std::regex(R"(127\.0\.0\.1:(\d+)/\?t=([0-9a-f]+))"))) {
      port = std::stoi(m[1]);
      token = m[2];
    }
  }
  if (!port) return 1;
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  const httplib::Headers auth = {{"X-Annot-Token", token}};
  auto post = [&](const std::string& q) {
    auto r = client.Post(q.c_str(), auth, "", "application/x-www-form-urlencoded");
    return r && r->status == 200;
  };
  // The host starts on the first request; the Distance tool, its first
  // corner, then moves about the plan with the rubber band following.
  if (!post("/api/press?id=Button_Distance") || !post("/api/event?kind=down&page=0&x=97&y=488") ||
      !post("/api/event?kind=up&page=0&x=97&y=488")) {
    std::fprintf(stderr, "serve_load_bench: the server did not take the gesture\n");
    kill(pid, SIGTERM);
    return 1;
  }
  const long rssBefore = RssKiB(pid);
  std::vector<double> ms;
  ms.reserve(events);
  int failed = 0;
  const auto begin = Clock::now();
  for (int i = 0; i < events; ++i) {
    const int x = 100 + (i * 7) % 700, y = 60 + (i * 13) % 480;
    const auto t0 = Clock::now();
    if (!post("/api/event?kind=move&page=0&x=" + std::to_string(x) + "&y=" + std::to_string(y))) ++failed;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  const long rssAfter = RssKiB(pid);
  std::printf("serve_load_bench: %d move events in %.2f s (%.0f/s), %d failed\n", events, seconds, events / seconds,
              failed);
  std::printf("answer time: p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms (target p99 <= 20 ms)\n",
              Percentile(ms, 0.5), Percentile(ms, 0.9), Percentile(ms, 0.99), Percentile(ms, 1.0));
  std::printf("server memory: %ld KiB before, %ld KiB after\n", rssBefore, rssAfter);
  if (minute) {
    // 1,000 events a second for a minute from four clients that do not wait
    // for each other; memory must level off.
    std::vector<std::thread> senders;
    std::atomic<int> refused{0}, sent{0};
    const auto stop = Clock::now() + std::chrono::seconds(60);
    for (int c = 0; c < 4; ++c)
      senders.emplace_back([&, c] {
        httplib::Client mine("127.0.0.1", port);
        mine.set_keep_alive(true);
        mine.set_tcp_nodelay(true);
        for (int i = 0; Clock::now() < stop; ++i) {
          const auto due = Clock::now() + std::chrono::microseconds(4000);
          auto r =
              mine.Post(("/api/event?kind=move&page=0&x=" + std::to_string(100 + (i + c) % 600) + "&y=300").c_str(),
                        auth, "", "application/x-www-form-urlencoded");
          ++sent;
          if (!r || r->status != 200) ++refused;
          std::this_thread::sleep_until(due);
        }
      });
    for (auto& t : senders) t.join();
    std::printf("one minute: %d events sent, %d refused as busy; server memory %ld KiB\n", sent.load(), refused.load(),
                RssKiB(pid));
  }
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  fs::remove_all(dir);
  return failed ? 1 : 0;
}
