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
