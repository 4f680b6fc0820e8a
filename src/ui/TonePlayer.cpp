#include "ui/TonePlayer.h"

#include "util/tone.h"

#include <QApplication>
#include <QMetaObject>
#include <cerrno>

#ifdef KESTRIX_ALSA
#include <alsa/asoundlib.h>
#endif

namespace kx {

namespace {
constexpr int kRate = 48000;
constexpr int kFrequencyHz = 1000;
constexpr auto kPauseStep = std::chrono::milliseconds(5);

#ifdef KESTRIX_ALSA
// ALSA reports a missing card on stderr; the fallback beep says enough.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

// ALSA's default device, kept in non-blocking mode throughout: a write takes what fits and
// the drain is polled, so no call waits for the sound server.
class AlsaOutput : public ToneOutput {
public:
    static std::unique_ptr<ToneOutput> open() {
        snd_lib_error_set_handler(quietAlsa);
        snd_pcm_t* pcm = nullptr;
        // A device held by another program fails at once.
        if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
            return nullptr;
        if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                               100000) != 0) {
            snd_pcm_close(pcm);
            return nullptr;
        }
        return std::unique_ptr<ToneOutput>(new AlsaOutput(pcm));
    }
    ~AlsaOutput() override {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    long write(const int16_t* samples, long count) override {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, samples, snd_pcm_uframes_t(count));
        if (n == -EAGAIN) return 0;
        if (n < 0) {
            // Recovered so that the device is usable again, but this tone has a gap.
            snd_pcm_recover(pcm_, int(n), 1);
            return -1;
        }
        return long(n);
    }
    int drainStep() override {
        if (!draining_) {
            draining_ = true;
            const int r = snd_pcm_drain(pcm_);
            if (r == 0) return 0;
            if (r != -EAGAIN) return -1;
        }
        const snd_pcm_state_t s = snd_pcm_state(pcm_);
        if (s == SND_PCM_STATE_DRAINING) return 1;
        return s == SND_PCM_STATE_SETUP || s == SND_PCM_STATE_PREPARED ? 0 : -1;
    }
    void drop() override { snd_pcm_drop(pcm_); }

private:
    explicit AlsaOutput(snd_pcm_t* pcm) : pcm_(pcm) {}
    snd_pcm_t* pcm_;
    bool draining_ = false;
};
#endif

std::unique_ptr<ToneOutput> defaultOutput() {
#ifdef KESTRIX_ALSA
    return AlsaOutput::open();
#else
    return nullptr;
#endif
}

void systemBeep() {
    if (qApp)
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
}
} // namespace

TonePlayer::TonePlayer() : TonePlayer(defaultOutput, systemBeep) {}

TonePlayer::TonePlayer(OutputFactory output, std::function<void()> fallback)
    : output_(std::move(output)), fallback_(std::move(fallback)), worker_([this] { run(); }) {}

TonePlayer::~TonePlayer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    worker_.join();
}

void TonePlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (pending_) return;
        pending_ = true;
    }
    wake_.notify_one();
}

void TonePlayer::run() {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return pending_ || quit_; });
            if (quit_) return;
            pending_ = false;
        }
        // A device that failed is not tried again for a while: opening it costs more than a
        // frame of the stream that beeps.
        const auto now = std::chrono::steady_clock::now();
        if (now >= retryDevice_ && sound()) continue;
        {
            std::lock_guard lock(mutex_);
            if (quit_) return;
        }
        if (now >= retryDevice_) retryDevice_ = now + std::chrono::seconds(10);
        if (fallback_) fallback_();
        // As long as a tone would have sounded, so that beeps merge the same way.
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(kDurationMs), [this] { return quit_; });
    }
}

bool TonePlayer::pause(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, kPauseStep, [this] { return quit_; });
    return !quit_ && std::chrono::steady_clock::now() < deadline;
}

bool TonePlayer::sound() {
    static const std::vector<int16_t> samples = toneSamples(kRate, kFrequencyHz, kDurationMs);
    const std::unique_ptr<ToneOutput> out = output_ ? output_() : nullptr;
    if (!out) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kDurationMs + kSlackMs);
    size_t done = 0;
    while (done < samples.size()) {
        const long n = out->write(samples.data() + done, long(samples.size() - done));
        if (n < 0) return false;
        done += size_t(n);
        if (done < samples.size() && !pause(deadline)) {
            out->drop();
            return false;
        }
    }
    for (;;) {
        const int playing = out->drainStep();
        if (playing <= 0) return playing == 0;
        if (!pause(deadline)) {
            out->drop();
            return false;
        }
    }
}

} // namespace kx
