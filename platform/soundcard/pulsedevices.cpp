#include "platform/soundcard/pulsedevices.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <string>
#include <utility>

namespace soundcard {

namespace {

using Steady = std::chrono::steady_clock;

// Waiting for the server, at most.
constexpr int kAnswerMs = 1000;

// A context on a private, non-threaded main loop, for short questions.
class Session {
 public:
  Session() {
    loop_ = pa_mainloop_new();
    if (!loop_) return;
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "Tunelark");
    if (!context_) return;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return;
    runUntil([this] {
      const pa_context_state_t s = pa_context_get_state(context_);
      return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
    });
    ready_ = pa_context_get_state(context_) == PA_CONTEXT_READY;
  }
  ~Session() {
    if (context_) {
      pa_context_disconnect(context_);
      pa_context_unref(context_);
    }
    if (loop_) pa_mainloop_free(loop_);
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool ready() const { return ready_; }
  pa_context* context() const { return context_; }

  // Runs the loop until `done` holds; false when the server does not
  // answer in time.
  template <typename Done>
  bool runUntil(Done done) {
    const auto end = Steady::now() + std::chrono::milliseconds(kAnswerMs);
    while (!done()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(end - Steady::now()).count();
      if (left <= 0) return false;
      if (pa_mainloop_prepare(loop_, int(left)) < 0 || pa_mainloop_poll(loop_) < 0 ||
          pa_mainloop_dispatch(loop_) < 0)
        return false;
    }
    return true;
  }

  // Waits for an operation; false when it did not finish in time.
  bool finish(pa_operation* op) {
    if (!op) return false;
    const bool done =
        runUntil([op] { return pa_operation_get_state(op) != PA_OPERATION_RUNNING; });
    if (!done) pa_operation_cancel(op);
    pa_operation_unref(op);
    return done;
  }

 private:
  pa_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool ready_ = false;
};

struct Listing {
  std::string defaultSink, defaultSource;
  std::vector<HostDevice> devices;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* user) {
  auto* l = static_cast<Listing*>(user);
  if (!info) return;
  if (info->default_sink_name) l->defaultSink = info->default_sink_name;
  if (info->default_source_name) l->defaultSource = info->default_source_name;
}

// A sink's or a source's entry; `channels` is the direction it serves.
template <typename Info>
void AddDevice(const Info* info, int eol, void* user, unsigned HostDevice::*channels) {
  if (eol || !info) return;
  HostDevice d;
  d.name = info->name ? info->name : "";
  d.description = info->description ? info->description : "";
  d.*channels = info->sample_spec.channels;
  static_cast<Listing*>(user)->devices.push_back(std::move(d));
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* user) {
  AddDevice(info, eol, user, &HostDevice::outputChannels);
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* user) {
  AddDevice(info, eol, user, &HostDevice::inputChannels);
}

}  // namespace

bool PulseServerReachable() { return Session().ready(); }

std::optional<std::vector<HostDevice>> ListPulseDevices() {
  Session session;
  if (!session.ready()) return std::nullopt;
  Listing l;
  pa_context* c = session.context();
  if (!session.finish(pa_context_get_server_info(c, &OnServerInfo, &l)) ||
      !session.finish(pa_context_get_sink_info_list(c, &OnSink, &l)) ||
      !session.finish(pa_context_get_source_info_list(c, &OnSource, &l)))
    return std::vector<HostDevice>{};  // a server that answered: no fallback
  for (HostDevice& d : l.devices) {
    d.defaultOutput = d.outputChannels > 0 && d.name == l.defaultSink;
    d.defaultInput = d.inputChannels > 0 && d.name == l.defaultSource;
  }
  return l.devices;
}

}  // namespace soundcard
