#include "platform/linux/PulseMicrophone.h"

#include <pulse/pulseaudio.h>

#include <functional>
#include <optional>

#include "main/voice/VoiceErrorCode.h"
#include "main/voice/VoiceFailure.h"

namespace tovarin {

namespace {

constexpr uint32_t kFramesPerFragment = 2048;
// A server that accepts but never answers must not hold the caller for long.
constexpr pa_usec_t kAnswerTimeout = 5 * PA_USEC_PER_SEC;

struct SourceFacts {
  std::string name;
  pa_sample_spec spec{};
  bool monitor = false;
};

}  // namespace

// Every pa_* object of one capture. The loop's lock guards them all; callbacks run on
// the loop's thread with the lock held.
struct PulseMicrophone::Connection {
  explicit Connection(std::shared_ptr<Callbacks> callbacks) : callbacks(std::move(callbacks)) {}

  ~Connection() {
    if (!loop) return;
    pa_threaded_mainloop_lock(loop);
    if (stream) {
      pa_stream_set_read_callback(stream, nullptr, nullptr);
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_set_moved_callback(stream, nullptr, nullptr);
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
    }
    if (context) {
      pa_context_set_subscribe_callback(context, nullptr, nullptr);
      pa_context_set_state_callback(context, nullptr, nullptr);
      pa_context_disconnect(context);
      pa_context_unref(context);
    }
    pa_threaded_mainloop_unlock(loop);
    pa_threaded_mainloop_stop(loop);
    pa_threaded_mainloop_free(loop);
  }

  // Connects to the server; false with `error` set when it cannot. Called unlocked.
  bool connect(const std::string& server) {
    loop = pa_threaded_mainloop_new();
    if (!loop) return fail("cannot make the audio loop");
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "TheTovarin");
    if (!context) return fail("cannot make the audio context");
    pa_context_set_state_callback(context, &Connection::signal, this);
    if (pa_context_connect(context, server.empty() ? nullptr : server.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return fail(pa_strerror(pa_context_errno(context)));
    }
    if (pa_threaded_mainloop_start(loop) < 0) return fail("cannot start the audio loop");
    Locked locked(loop);
    const bool ready = waitUntil([&] { return pa_context_get_state(context) == PA_CONTEXT_READY; },
                                 [&] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)); });
    if (ready) return true;
    return fail(timedOut ? "the sound server did not answer" : pa_strerror(pa_context_errno(context)));
  }

  // Waits on the loop until done() or failed(), or the answer timeout; true when done.
  // Called locked.
  bool waitUntil(const std::function<bool()>& done, const std::function<bool()>& failed) {
    timedOut = false;
    pa_time_event* deadline = pa_context_rttime_new(
        context, pa_rtclock_now() + kAnswerTimeout,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
          auto* self = static_cast<Connection*>(data);
          self->timedOut = true;
          pa_threaded_mainloop_signal(self->loop, 0);
        },
        this);
    bool result = false;
    for (;;) {
      if (done()) {
        result = true;
        break;
      }
      if (failed() || timedOut) break;
      pa_threaded_mainloop_wait(loop);
    }
    if (deadline) pa_threaded_mainloop_get_api(loop)->time_free(deadline);
    return result;
  }

  // The default source, or nothing. Called locked.
  std::optional<SourceFacts> defaultSource() {
    std::string name = defaultSourceName();
    if (name.empty()) return std::nullopt;
    struct Query {
      Connection* self;
      std::optional<SourceFacts> facts;
    } query{this, std::nullopt};
    auto* operation = pa_context_get_source_info_by_name(
        context, name.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* data) {
          auto* query = static_cast<Query*>(data);
          if (eol == 0 && info) {
            query->facts = SourceFacts{info->name, info->sample_spec, info->monitor_of_sink != PA_INVALID_INDEX};
          }
          pa_threaded_mainloop_signal(query->self->loop, 0);
        },
        &query);
    await(operation);
    return query.facts;
  }

  std::string defaultSourceName() {
    struct Query {
      Connection* self;
      std::string name;
    } query{this, {}};
    auto* operation = pa_context_get_server_info(
        context,
        [](pa_context*, const pa_server_info* info, void* data) {
          auto* query = static_cast<Query*>(data);
          if (info && info->default_source_name) query->name = info->default_source_name;
          pa_threaded_mainloop_signal(query->self->loop, 0);
        },
        &query);
    await(operation);
    return query.name;
  }

  // Starts recording from the source; false with `error` set when it cannot. Called locked.
  bool record(const SourceFacts& source, BufferCallback callback) {
    onBuffer = std::move(callback);
    knownSource = source.name;
    spec = pa_sample_spec{PA_SAMPLE_FLOAT32NE, source.spec.rate, source.spec.channels};
    stream = pa_stream_new(context, "dictation", &spec, nullptr);
    if (!stream) return fail(pa_strerror(pa_context_errno(context)));
    pa_stream_set_state_callback(stream, &Connection::onStreamState, this);
    pa_stream_set_read_callback(stream, &Connection::onReadable, this);
    pa_stream_set_moved_callback(stream, &Connection::onMoved, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(kFramesPerFragment * pa_frame_size(&spec));
    if (pa_stream_connect_record(stream, source.name.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
      return fail(pa_strerror(pa_context_errno(context)));
    }
    const bool ready = waitUntil([&] { return pa_stream_get_state(stream) == PA_STREAM_READY; },
                                 [&] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream)); });
    if (!ready) return fail(timedOut ? "the sound server did not answer" : pa_strerror(pa_context_errno(context)));
    streaming = true;
    pa_context_set_subscribe_callback(context, &Connection::onServerEvent, this);
    pa_operation* subscription = pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr);
    if (subscription) pa_operation_unref(subscription);
    return true;
  }

  void await(pa_operation* operation) {
    if (!operation) return;
    waitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, [] { return false; });
    // A query that timed out must not call back into a frame that is gone.
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_operation_cancel(operation);
    pa_operation_unref(operation);
  }

  bool fail(std::string why) {
    error = std::move(why);
    return false;
  }

  void reportConfigurationChange() {
    std::function<void()> callback;
    {
      std::lock_guard lock(callbacks->mutex);
      callback = callbacks->onConfigurationChange;
    }
    if (callback) callback();
  }

  void reportInterruption() {
    std::function<void()> callback;
    {
      std::lock_guard lock(callbacks->mutex);
      callback = callbacks->onInterruption;
    }
    if (callback) callback();
  }

  // Reports a new device once, whether the default changed or the stream moved first.
  void sourceIs(const std::string& name) {
    if (name.empty() || name == knownSource) return;
    knownSource = name;
    reportConfigurationChange();
  }

  static void signal(pa_context*, void* data) {
    pa_threaded_mainloop_signal(static_cast<Connection*>(data)->loop, 0);
  }

  static void onStreamState(pa_stream* stream, void* data) {
    auto* self = static_cast<Connection*>(data);
    pa_threaded_mainloop_signal(self->loop, 0);
    if (self->streaming && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
      self->streaming = false;
      self->reportInterruption();
    }
  }

  static void onMoved(pa_stream* stream, void* data) {
    const char* device = pa_stream_get_device_name(stream);
    static_cast<Connection*>(data)->sourceIs(device ? device : "");
  }

  static void onServerEvent(pa_context* context, pa_subscription_event_type_t, uint32_t, void* data) {
    pa_operation* operation = pa_context_get_server_info(
        context,
        [](pa_context*, const pa_server_info* info, void* data) {
          if (info && info->default_source_name) static_cast<Connection*>(data)->sourceIs(info->default_source_name);
        },
        data);
    if (operation) pa_operation_unref(operation);
  }

  static void onReadable(pa_stream* stream, size_t, void* data) {
    auto* self = static_cast<Connection*>(data);
    while (pa_stream_readable_size(stream) > 0) {
      const void* bytes = nullptr;
      size_t size = 0;
      if (pa_stream_peek(stream, &bytes, &size) < 0 || size == 0) break;
      if (bytes) self->deliver(static_cast<const float*>(bytes), size / sizeof(float));
      pa_stream_drop(stream);  // a hole (no bytes) is dropped as well
    }
  }

  void deliver(const float* samples, size_t count) {
    VoiceAudioBuffer buffer{static_cast<double>(spec.rate), spec.channels, {samples, samples + count}};
    if (onBuffer && buffer.frames() > 0) onBuffer(buffer);
  }

  struct Locked {
    explicit Locked(pa_threaded_mainloop* loop) : loop(loop) { pa_threaded_mainloop_lock(loop); }
    ~Locked() { pa_threaded_mainloop_unlock(loop); }
    pa_threaded_mainloop* loop;
  };

  std::shared_ptr<Callbacks> callbacks;
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  pa_sample_spec spec{};
  BufferCallback onBuffer;
  std::string knownSource;
  bool streaming = false;
  bool timedOut = false;
  std::string error;
};

PulseMicrophone::PulseMicrophone(std::string server) : server_(std::move(server)) {}

PulseMicrophone::~PulseMicrophone() { close(); }

void PulseMicrophone::setOnConfigurationChange(std::function<void()> callback) {
  std::lock_guard lock(callbacks_->mutex);
  callbacks_->onConfigurationChange = std::move(callback);
}

void PulseMicrophone::setOnInterruption(std::function<void()> callback) {
  std::lock_guard lock(callbacks_->mutex);
  callbacks_->onInterruption = std::move(callback);
}

std::optional<VoiceFailure> PulseMicrophone::open(BufferCallback onBuffer) {
  close();
  auto connection = std::make_unique<Connection>(callbacks_);
  if (!connection->connect(server_)) {
    return VoiceFailure(std::string(VoiceErrorCode::audioStartFailed), connection->error);
  }
  std::optional<SourceFacts> source;
  {
    Connection::Locked locked(connection->loop);
    source = connection->defaultSource();
    const bool usable = source && !source->monitor && source->spec.rate > 0 && source->spec.channels > 0;
    if (!usable) source.reset();
    if (source && !connection->record(*source, std::move(onBuffer))) {
      std::string why = connection->error;
      return VoiceFailure(std::string(VoiceErrorCode::audioStartFailed), why);
    }
  }
  if (!source) return VoiceFailure(std::string(VoiceErrorCode::noInputDevice));
  connection_ = std::move(connection);
  return std::nullopt;
}

void PulseMicrophone::close() { connection_.reset(); }

bool PulseMicrophone::hasInputDevice(const std::string& server) {
  Connection connection(std::make_shared<Callbacks>());
  if (!connection.connect(server)) return false;
  Connection::Locked locked(connection.loop);
  auto source = connection.defaultSource();
  return source && !source->monitor && source->spec.rate > 0 && source->spec.channels > 0;
}

}  // namespace tovarin
