#include "platform/audio/PulseSinks.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

struct LoopDeleter {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextDeleter {
    void operator()(pa_context* context) const {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

struct ListState {
    std::vector<PulseSinkInfo> sinks;
    bool done = false;
    bool failed = false;
};

void OnSink(pa_context* /*context*/, const pa_sink_info* info, int eol, void* user) {
    auto* state = static_cast<ListState*>(user);
    if (eol != 0) {
        state->failed = eol < 0;
        state->done = true;
        return;
    }
    if (info == nullptr || info->name == nullptr) return;
    PulseSinkInfo sink;
    sink.name = info->name;
    sink.description =
        info->description != nullptr && *info->description != '\0' ? info->description : info->name;
    sink.channels = info->sample_spec.channels;
    sink.rate = info->sample_spec.rate;
    for (uint8_t i = 0; i < info->channel_map.channels; ++i) {
        sink.positions.push_back(static_cast<int>(info->channel_map.map[i]));
    }
    if (sink.channels == 0 || sink.rate == 0) return;
    state->sinks.push_back(std::move(sink));
}

// Runs the loop until `finished` or the deadline; false at the deadline.
template <typename Finished>
bool RunUntil(pa_mainloop* loop, Clock::time_point deadline, Finished finished) {
    while (!finished()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0) return false;
        if (pa_mainloop_poll(loop) < 0) return false;
        if (pa_mainloop_dispatch(loop) < 0) return false;
    }
    return true;
}

}  // namespace

std::vector<PulseSinkInfo> ListPulseSinks(std::string* error, int timeoutMs) {
    const auto fail = [error](std::string text) {
        if (error != nullptr) *error = std::move(text);
        return std::vector<PulseSinkInfo>{};
    };
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_ptr<pa_mainloop, LoopDeleter> loop(pa_mainloop_new());
    if (!loop) return fail("PulseAudio: no main loop");
    std::unique_ptr<pa_context, ContextDeleter> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "Marvane"));
    if (!context) return fail("PulseAudio: no context");
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return fail(std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context.get())));
    }
    const bool settled = RunUntil(loop.get(), deadline, [&] {
        const pa_context_state_t state = pa_context_get_state(context.get());
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    });
    if (!settled) return fail("PulseAudio: the server did not answer");
    if (pa_context_get_state(context.get()) != PA_CONTEXT_READY) {
        return fail(std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context.get())));
    }
    ListState state;
    pa_operation* operation = pa_context_get_sink_info_list(context.get(), &OnSink, &state);
    if (operation == nullptr) {
        return fail(std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context.get())));
    }
    const bool listed = RunUntil(loop.get(), deadline, [&] {
        return state.done || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context.get()));
    });
    // The callback must not run after `state` is gone: cancel what is still outstanding.
    if (!state.done) pa_operation_cancel(operation);
    pa_operation_unref(operation);
    if (!listed || !state.done) return fail("PulseAudio: the server did not list its sinks");
    if (state.failed) return fail("PulseAudio: the server refused the list of sinks");
    return std::move(state.sinks);
}
