#include "ReferenceRender.h"

#include <algorithm>

#include "render/Kernels.h"
#include "support/TakeBuilder.h"

namespace reference {

namespace {

constexpr uint64_t kBlock = 16384;

struct Event {
    int take;
    uint64_t start, end;
};

struct Model {
    const std::vector<Take>& takes;
    std::vector<Event> events;
    uint64_t fadeLength;
    uint64_t q;
    std::vector<int32_t> out;  // staged frames of the whole span
    uint64_t first = 0;

    // The block being assembled: positions [blockStart, blockStart + staged).
    uint64_t blockStart = 0, staged = 0;

    int32_t Source(int takeIndex, uint64_t position, int channel) const {
        const Take& t = takes[takeIndex];
        const int c = t.channels == 2 ? channel : 0;
        const int32_t v = testsupport::PatternSample(t.seed, position - t.start, c, t.bits);
        return static_cast<int32_t>(static_cast<uint32_t>(v) << (32 - t.bits));
    }
    bool SameId(int a, int b) const { return takes[a].identity == takes[b].identity; }

    // Applies one stretch of a fade to the staged frames, as the staging buffer does.
    uint64_t Fade(uint64_t fadeStart, uint64_t offset, bool in) {
        if (fadeStart < blockStart || fadeStart > blockStart + staged) return 0;
        const uint64_t n = std::min(fadeLength - offset, blockStart + staged - fadeStart);
        const uint32_t* table = FadeTable();
        for (uint64_t k = 0; k < n; ++k) {
            const uint64_t step = (offset + k) * q;
            const uint32_t gain = table[in ? step : 4095 - step] >> 16;
            for (int c = 0; c < 2; ++c) {
                int32_t& s = out[2 * (fadeStart + k - first) + c];
                s = static_cast<int32_t>(2 * gain * static_cast<uint32_t>(s >> 16));
            }
        }
        return offset + n < fadeLength ? offset + n : 0;
    }
};

}  // namespace

std::vector<int32_t> Render(const std::vector<Take>& takes, uint64_t fadeLength,
                            uint64_t* firstSample) {
    Model m{takes, {}, fadeLength, 4096 / fadeLength, {}};
    uint64_t first = UINT64_MAX, last = 0;
    for (const Take& t : takes) {
        if (t.frames == 0) continue;
        first = std::min(first, t.start);
        last = std::max(last, t.start + t.frames);
    }
    if (first >= last) return {};
    m.first = first;
    if (firstSample != nullptr) *firstSample = first;

    // Which take plays at each frame: the newest that covers it. Runs of one take
    // are the events.
    for (uint64_t p = first; p < last; ++p) {
        int owner = -1;
        for (int i = 0; i < static_cast<int>(takes.size()); ++i) {
            if (takes[i].start <= p && p < takes[i].start + takes[i].frames) owner = i;
        }
        if (owner < 0) continue;
        if (!m.events.empty() && m.events.back().take == owner && m.events.back().end == p) {
            m.events.back().end = p + 1;
        } else {
            m.events.push_back({owner, p, p + 1});
        }
    }
    m.out.assign(2 * (last - first), 0);

    const uint64_t L = fadeLength;
    int lastEvent = -1;
    uint64_t fadeInOffset = 0, fadeOutOffset = 0, fadeInStart = 0, fadeOutStart = 0;
    uint64_t pos = first;
    while (pos < last) {
        m.blockStart = pos;
        m.staged = 0;
        bool full = false;
        while (!full && m.staged < kBlock) {
            const uint64_t room = kBlock - m.staged;
            int e = -1;
            for (int i = 0; i < static_cast<int>(m.events.size()); ++i) {
                if (m.events[i].start < pos + kBlock && m.events[i].end > pos) {
                    e = i;
                    break;
                }
            }
            if (e < 0 || m.events[e].start > pos) {  // silence
                const uint64_t n = e < 0 ? room : std::min(room, m.events[e].start - pos);
                pos += n;
                m.staged += n;
                continue;
            }
            const Event& ev = m.events[e];
            const uint64_t remaining = ev.end - pos;
            const bool stopEarly = remaining > room && remaining >= L && remaining - L < room;
            const uint64_t n = std::min(stopEarly ? remaining - L : remaining, room);
            for (uint64_t k = 0; k < n; ++k) {
                m.out[2 * (pos + k - first)] = m.Source(ev.take, pos + k, 0);
                m.out[2 * (pos + k - first) + 1] = m.Source(ev.take, pos + k, 1);
            }
            pos += n;
            m.staged += n;
            if (n != 0) {
                if (fadeInOffset != 0) {
                    fadeInOffset = m.Fade(fadeInStart + fadeInOffset, fadeInOffset, true);
                } else if (fadeOutOffset != 0) {
                    fadeOutOffset = m.Fade(fadeOutStart + fadeOutOffset, fadeOutOffset, false);
                }
                if (lastEvent < 0 || !m.SameId(ev.take, m.events[lastEvent].take)) {
                    fadeInStart = ev.start;
                    fadeInOffset = m.Fade(ev.start, 0, true);
                }
                const bool nextSame = e + 1 < static_cast<int>(m.events.size()) &&
                                      m.SameId(ev.take, m.events[e + 1].take);
                if (pos == ev.end && !nextSame) {
                    fadeOutStart = ev.end - L;
                    fadeOutOffset = ev.end >= L ? m.Fade(fadeOutStart, 0, false) : 0;
                }
                lastEvent = e;
            }
            if (stopEarly) full = true;
        }
    }
    return m.out;
}

std::vector<uint8_t> Narrow(const std::vector<int32_t>& frames, int layout, int bits,
                            std::vector<uint8_t>* right) {
    std::vector<uint8_t> out;
    auto put = [bits](std::vector<uint8_t>& to, int32_t staged) {
        const int32_t v = staged >> (32 - bits);
        for (int b = 0; b < bits / 8; ++b) to.push_back(static_cast<uint8_t>(v >> (8 * b)));
    };
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        const int32_t l = frames[i], r = frames[i + 1];
        switch (layout) {
            case 0:
                put(out, l);
                put(out, r);
                break;
            case 1:
                put(out, l);
                break;
            case 2:
                put(out, r);
                break;
            case 3: {
                const int64_t sum = std::clamp<int64_t>(int64_t{l} + r, INT32_MIN, INT32_MAX);
                put(out, static_cast<int32_t>(sum));
                break;
            }
            case 4:
                put(out, l);
                put(*right, r);
                break;
        }
    }
    return out;
}

}  // namespace reference
