// A private sound server for tests and benchmarks that speaks the
// PulseAudio protocol: PulseAudio itself, or PipeWire with its session
// manager and its PulseAudio-compatible server. Either has a null sink
// (float, stereo) as the default sink and its monitor as the default
// source, on a socket in a temporary folder, so the card's server backend
// plays and records through a real server on a machine without sound
// hardware. The process's PULSE_SERVER points at the server last started
// (or chosen with select()).
//
// PulseAudio's sink is suspended whenever no stream plays, as a desktop
// server's sinks are: an idle null sink renders two seconds ahead, and a
// stream that joins it then waits that long for its first frames.
// PipeWire runs its graph at 48 kHz, as it does on a desktop.
#pragma once

#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
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
#include <vector>

#include "platform/soundcard/pulsedevices.h"

namespace soundservertest {

constexpr const char* kSink = "tunelark_null";
constexpr const char* kMonitor = "tunelark_null.monitor";

enum class ServerKind { PulseAudio, PipeWire };

inline const char* KindName(ServerKind kind) {
  return kind == ServerKind::PulseAudio ? "PulseAudio" : "PipeWire";
}

class PrivateSoundServer {
 public:
  // The program on PATH, or "".
  static std::string Find(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      const std::string p = dir + "/" + name;
      if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
  }
  static std::string Program() { return Find("pulseaudio"); }

  // What is missing to run a server of that kind ("" when nothing is).
  static std::string Missing(ServerKind kind) {
    const std::vector<std::string> programs =
        kind == ServerKind::PulseAudio
            ? std::vector<std::string>{"pulseaudio"}
            : std::vector<std::string>{"pipewire", "pipewire-pulse", "wireplumber", "dbus-daemon"};
    std::string missing;
    for (const std::string& p : programs)
      if (Find(p).empty()) missing += (missing.empty() ? "" : ", ") + p;
    return missing.empty() ? "" : missing + " not installed";
  }

  explicit PrivateSoundServer(ServerKind kind = ServerKind::PulseAudio) : kind_(kind) {
    if (const std::string missing = Missing(kind); !missing.empty()) {
      error_ = missing;
      return;
    }
    char pattern[] = "/tmp/tunelark-sound-XXXXXX";
    if (!mkdtemp(pattern)) {
      error_ = "no temporary folder";
      return;
    }
    folder_ = pattern;
    if (kind == ServerKind::PulseAudio)
      startPulseAudio();
    else
      startPipeWire();
    if (!error_.empty()) return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < end) {
      if (!alive()) {
        error_ = std::string(KindName(kind)) + " exited: " + Log();
        return;
      }
      if (access(socket_.c_str(), F_OK) == 0 && answers()) {
        ready_ = true;
        // The server's threads at real-time priority where the system
        // allows it: on a machine busy with other work they could
        // otherwise stall for longer than the card's small buffers last.
        sched_param p{};
        p.sched_priority = 10;
        for (pid_t pid : pids_) sched_setscheduler(pid, SCHED_FIFO, &p);
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = std::string(KindName(kind)) + " did not answer: " + Log();
  }

  ~PrivateSoundServer() {
    kill();
    if (selected()) unsetenv("PULSE_SERVER");
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }

  PrivateSoundServer(const PrivateSoundServer&) = delete;
  PrivateSoundServer& operator=(const PrivateSoundServer&) = delete;

  ServerKind kind() const { return kind_; }
  bool ready() const { return ready_; }
  const std::string& error() const { return error_; }

  // Points PULSE_SERVER at this server.
  void select() const { setenv("PULSE_SERVER", address().c_str(), 1); }
  bool selected() const {
    const char* s = std::getenv("PULSE_SERVER");
    return s && address() == s;
  }

  // True while every process of the server runs.
  bool alive() {
    for (pid_t& pid : pids_) {
      int status = 0;
      if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) pid = -1;
      if (pid <= 0) return false;
    }
    return !pids_.empty();
  }

  // Ends the server at once, as a crash would (SIGKILL); a server ended
  // this way is not ready any more.
  void crash() { kill(SIGKILL); }

  std::string Log() const {
    std::stringstream s;
    for (const char* name : {"server.log", "pipewire.log", "wireplumber.log", "pipewire-pulse.log"}) {
      std::ifstream in(folder_ + "/" + name);
      if (in) s << in.rdbuf();
    }
    return s.str();
  }

 private:
  std::string address() const { return "unix:" + socket_; }

  // The server answers, with its null sink as the default sink (PipeWire's
  // session manager makes it so a moment after the server answers).
  bool answers() const {
    select();
    bool ok = false;
    if (const auto devices = soundcard::ListPulseDevices())
      for (const soundcard::HostDevice& d : *devices) ok = ok || (d.name == kSink && d.defaultOutput);
    return ok;
  }

  // Starts `argv` with the server's private folders, its output into `log`;
  // the process ends with the test process, however that ends.
  void spawn(const std::vector<std::string>& argv, const std::string& log,
             const std::vector<std::string>& env = {}) {
    const pid_t pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      // The server keeps its state and runtime files in the folder; as root
      // it runs as a per-user server all the same.
      setenv("HOME", folder_.c_str(), 1);
      setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (folder_ + "/config").c_str(), 1);
      unsetenv("PULSE_SERVER");
      for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
      std::freopen((folder_ + "/" + log).c_str(), "w", stderr);
      std::freopen("/dev/null", "w", stdout);
      std::vector<char*> args;
      for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      execv(Find(argv[0]).c_str(), args.data());
      _exit(127);
    }
    if (pid < 0) {
      error_ = "cannot start " + argv[0];
      return;
    }
    pids_.push_back(pid);
  }

  void startPulseAudio() {
    socket_ = folder_ + "/native";
    const std::string script = folder_ + "/server.pa";
    std::ofstream(script) << "load-module module-null-sink sink_name=" << kSink
                          << " format=float32le rate=44100 channels=2\n"
                          << "load-module module-native-protocol-unix auth-anonymous=1 socket="
                          << socket_ << "\n"
                          << "set-default-sink " << kSink << "\n"
                          << "set-default-source " << kMonitor << "\n"
                          << "load-module module-suspend-on-idle timeout=0\n";
    spawn({"pulseaudio", "-n", "-F", script, "--daemonize=no", "--exit-idle-time=-1", "--system=false",
           "--use-pid-file=false", "--log-target=stderr"},
          "server.log");
  }

  // A private session bus (the session manager needs one), the server with
  // the null sink, the session manager that links streams to it, and the
  // PulseAudio-protocol server, whose default source is then the sink's
  // monitor (the only source there is).
  void startPipeWire() {
    socket_ = folder_ + "/pulse/native";
    std::filesystem::create_directories(folder_ + "/config/pipewire/pipewire.conf.d");
    std::ofstream(folder_ + "/config/pipewire/pipewire.conf.d/null-sink.conf")
        << "context.objects = [\n"
        << "  { factory = adapter\n"
        << "    args = {\n"
        << "      factory.name = support.null-audio-sink\n"
        << "      node.name = " << kSink << "\n"
        << "      node.description = \"Tunelark null sink\"\n"
        << "      media.class = Audio/Sink\n"
        << "      audio.position = [ FL FR ]\n"
        << "    }\n"
        << "  }\n"
        << "]\n";
    const std::string bus = "unix:path=" + folder_ + "/bus";
    spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, "dbus.log");
    busEnv_ = "DBUS_SESSION_BUS_ADDRESS=" + bus;
    for (int i = 0; i < 250 && access((folder_ + "/bus").c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    spawn({"pipewire"}, "pipewire.log", {busEnv_});
    // The session manager and the PulseAudio-protocol server give up at
    // once when the server's socket is not there yet.
    for (int i = 0; i < 250 && access((folder_ + "/pipewire-0").c_str(), F_OK) != 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    spawn({"wireplumber"}, "wireplumber.log", {busEnv_});
    spawn({"pipewire-pulse"}, "pipewire-pulse.log", {busEnv_});
  }

  void kill(int signal = SIGTERM) {
    // The PulseAudio-protocol server first, the bus last.
    for (auto it = pids_.rbegin(); it != pids_.rend(); ++it) {
      pid_t& pid = *it;
      if (pid <= 0) continue;
      ::kill(pid, signal);
      int status = 0;
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
          ::kill(pid, SIGKILL);
          waitpid(pid, &status, 0);
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      pid = -1;
    }
    ready_ = false;
  }

  ServerKind kind_;
  std::string folder_, socket_, busEnv_;
  std::vector<pid_t> pids_;
  bool ready_ = false;
  std::string error_;
};

}  // namespace soundservertest
