#include "link/link_sequence.h"

#include "link/ecu_protocol.h"

namespace kx {

LinkSequence& LinkSequence::write(const QByteArray& bytes, bool traced) {
    LinkStep s = LinkStep::of(LinkStep::Write);
    s.bytes = bytes;
    s.traced = traced;
    steps.push_back(std::move(s));
    return *this;
}

LinkSequence& LinkSequence::ask(const QByteArray& bytes) {
    write(bytes);
    steps.back().answered = true;
    return *this;
}

LinkSequence& LinkSequence::writeEach(const QByteArray& bytes, uint32_t pauseMs) {
    for (char b : bytes) {
        write(QByteArray(1, b));
        wait(pauseMs);
    }
    return *this;
}

LinkSequence& LinkSequence::wait(uint32_t ms) {
    steps.push_back(LinkStep::of(LinkStep::Wait, int(ms)));
    return *this;
}

LinkSequence& LinkSequence::discard() {
    steps.push_back(LinkStep::of(LinkStep::Discard));
    return *this;
}

LinkSequence& LinkSequence::settle() {
    steps.push_back(LinkStep::of(LinkStep::Settle));
    return *this;
}

LinkSequence& LinkSequence::frames(int count, FrameRule rule) {
    steps.push_back(LinkStep::of(LinkStep::Frames, count));
    steps.back().rule = rule;
    return *this;
}

LinkSequence& LinkSequence::threshold(int count) {
    steps.push_back(LinkStep::of(LinkStep::Threshold, count));
    return *this;
}

LinkSequence& LinkSequence::mode(ReceiveMode readMode) {
    steps.push_back(LinkStep::of(LinkStep::Mode, int(readMode)));
    return *this;
}

LinkSequence& LinkSequence::then(std::function<void()> call) {
    LinkStep s = LinkStep::of(LinkStep::Call);
    s.call = std::move(call);
    steps.push_back(std::move(s));
    return *this;
}

LinkSequence& LinkSequence::append(const LinkSequence& other) {
    steps.insert(steps.end(), other.steps.begin(), other.steps.end());
    return *this;
}

LinkSequence& LinkSequence::startStream() {
    write(ecu::StreamStart);
    steps.back().answered = true;
    return *this;
}

LinkSequence& LinkSequence::stopStream() {
    // A stop that the line lost leaves the stream running: the settle says it again.
    return write(ecu::StreamStop).wait(50).settle().discard();
}

LinkSequence& LinkSequence::arm(const QByteArray& request, uint32_t pauseMs, int streamThreshold,
                                bool bytePerWrite, bool traced) {
    threshold(ecu::ArmThreshold);
    if (bytePerWrite) {
        for (char b : request)
            write(QByteArray(1, b), traced);
    } else {
        write(request, traced);
    }
    if (!steps.empty()) steps.back().answered = true;
    // Discard after the last wait: the ECU's answer to the request itself, and anything of
    // the previous mode that came during the wait, is dropped here.
    wait(pauseMs).settle().discard();
    if (streamThreshold > 0) threshold(streamThreshold);
    return frames(streamThreshold > 0 ? (streamThreshold - 4) / 2 : FrameConfirmer::AnyCount);
}

LinkSequence& LinkSequence::closePort() {
    steps.push_back(LinkStep::of(LinkStep::ClosePort));
    return *this;
}

LinkSequence& LinkSequence::openPort() {
    steps.push_back(LinkStep::of(LinkStep::Open));
    return *this;
}

LinkSequence& LinkSequence::onEnd(std::function<void(bool)> e) {
    end = std::move(e);
    return *this;
}

} // namespace kx
