// A timeline position broken down for people: hours, minutes, seconds and
// hundredths of a second, as EDLWriter::GetTime computes it.
#pragma once

#include <cstdint>

struct timeParts {
    int64_t hours = 0;  // in full, however many
    int8_t minutes = 0;
    int8_t seconds = 0;
    int8_t hundredths = 0;  // 0 to 99
};

// A number of frames at `rate` frames a second as hours, minutes, seconds and
// hundredths, exact for every count (hundredths are cut, not rounded); all zero
// for a rate of 0.
inline timeParts TimeOfFrames(uint64_t frames, uint32_t rate) {
    timeParts time;
    if (rate == 0) return time;
    const uint64_t perHour = uint64_t{rate} * 3600;
    const uint64_t perMinute = uint64_t{rate} * 60;
    uint64_t rest = frames % perHour;
    // Even 2^64 - 1 frames at 1 Hz have fewer hours than int64_t holds.
    time.hours = static_cast<int64_t>(frames / perHour);
    time.minutes = static_cast<int8_t>(rest / perMinute);
    rest %= perMinute;
    time.seconds = static_cast<int8_t>(rest / rate);
    rest %= rate;
    time.hundredths = static_cast<int8_t>(rest * 100 / rate);  // rest < rate < 2^32
    return time;
}
