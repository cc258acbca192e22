// A timeline position broken down for people: hours, minutes, seconds and tenths
// of a second, as EDLWriter::GetTime computes it.
#pragma once

#include <cstdint>

struct timeParts {
    int8_t hours = 0;
    int8_t minutes = 0;
    int8_t seconds = 0;
    int8_t tenths = 0;  // 0 to 9
};
