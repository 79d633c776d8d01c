// A private PulseAudio server for tests and benchmarks: a null sink (float,
// 44100 Hz, stereo) as the default sink and its monitor as the default
// source, on a socket in a temporary folder, so the card's server backend
// plays and records through a real server on a machine without sound
// hardware. The process's PULSE_SERVER points at it while it runs.
//
// The sink is suspended whenever no stream plays, as a desktop server's
// sinks are: an idle null sink renders two seconds ahead, and a stream that
// joins it then waits that long for its first frames.
#pragma once

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/soundcard/pulseclock.h"

namespace soundservertest {

constexpr const char* kSink = "tunelark_null";
constexpr const char* kMonitor = "tunelark_null.monitor";

class PrivateSoundServer {
 public:
  // The server program on PATH, or "".
  static std::string Program() {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      const std::string p = dir + "/pulseaudio";
      if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
  }

  PrivateSoundServer() {
    const std::string program = Program();
    if (program.empty()) {
      error_ = "pulseaudio is not installed";
      return;
    }
    char pattern[] = "/tmp/tunelark-pulse-XXXXXX";
    if (!mkdtemp(pattern)) {
      error_ = "no temporary folder";
      return;
    }
    folder_ = pattern;
    socket_ = folder_ + "/native";
    const std::string script = folder_ + "/server.pa";
    std::ofstream(script) << "load-module module-null-sink sink_name=" << kSink
                          << " format=float32le rate=44100 channels=2\n"
                          << "load-module module-native-protocol-unix auth-anonymous=1 socket="
                          << socket_ << "\n"
                          << "set-default-sink " << kSink << "\n"
                          << "set-default-source " << kMonitor << "\n"
                          << "load-module module-suspend-on-idle timeout=0\n";
    const std::string log = folder_ + "/server.log";
    pid_ = fork();
    if (pid_ == 0) {
      // Gone with the test process, however that ends.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      // The server keeps its state and runtime files in the folder; as root
      // it runs as a per-user server all the same.
      setenv("HOME", folder_.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
      std::freopen(log.c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      execl(program.c_str(), "pulseaudio", "-n", "-F", script.c_str(), "--daemonize=no",
            "--exit-idle-time=-1", "--system=false", "--use-pid-file=false",
            "--log-target=stderr", static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) {
      error_ = "cannot start pulseaudio";
      return;
    }
    setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        error_ = "pulseaudio exited: " + Log();
        return;
      }
      if (access(socket_.c_str(), F_OK) == 0 && soundcard::PulseServerReachable()) {
        ready_ = true;
        // The server's main thread (it moves the client's data to the
        // sink's thread) at real-time priority where the system allows it:
        // on a machine busy with other work it could otherwise stall for
        // longer than the card's small buffers last.
        sched_param p{};
        p.sched_priority = 10;
        sched_setscheduler(pid_, SCHED_FIFO, &p);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "pulseaudio did not answer: " + Log();
  }

  ~PrivateSoundServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
          kill(pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    unsetenv("PULSE_SERVER");
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

  bool ready() const { return ready_; }
  const std::string& error() const { return error_; }

  std::string Log() const {
    std::ifstream in(folder_ + "/server.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::string folder_, socket_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string error_;
};

}  // namespace soundservertest
