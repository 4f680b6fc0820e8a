#include "app/TonePlayer.h"

#include "util/tone.h"

#include <QApplication>
#include <QMetaObject>

#ifdef KESTRIX_ALSA
#include <alsa/asoundlib.h>
#endif

namespace kx {

namespace {
constexpr int kRate = 48000;
constexpr int kFrequencyHz = 1000;
constexpr int kDurationMs = 120;

#ifdef KESTRIX_ALSA
// ALSA reports a missing card on stderr; the fallback beep says enough.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
} // namespace

TonePlayer::TonePlayer() : worker_([this] { run(); }) {}

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
        if (now >= retryDevice_) retryDevice_ = now + std::chrono::seconds(10);
        if (qApp)
            QMetaObject::invokeMethod(
                qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
        // As long as a tone would have sounded, so that beeps merge the same way.
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(kDurationMs), [this] { return quit_; });
    }
}

bool TonePlayer::sound() {
#ifdef KESTRIX_ALSA
    static const std::vector<int16_t> samples = toneSamples(kRate, kFrequencyHz, kDurationMs);
    snd_lib_error_set_handler(quietAlsa);
    snd_pcm_t* pcm = nullptr;
    // Opened without blocking, so a device held by another program fails at once.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return false;
    bool ok = snd_pcm_nonblock(pcm, 0) == 0 &&
              snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate,
                                 1, 100000) == 0;
    if (ok) {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples.data(), samples.size());
        if (n < 0) ok = snd_pcm_recover(pcm, int(n), 1) == 0;
        snd_pcm_drain(pcm);
    }
    snd_pcm_close(pcm);
    return ok;
#else
    return false;
#endif
}

} // namespace kx
