// Sample conversion kernels and the fade curve: the inner loops of a conversion.
//
// All rendering happens on staged frames: two signed 32-bit samples, left then
// right, in host order, with the source sample in the top bits (a 16-bit sample s
// is staged as s * 65536, a 24-bit sample as s * 256). A mono source fills both
// halves of the frame. Frame k of a block is frames[2k] (left) and frames[2k + 1]
// (right).
//
// File-side streams are raw little-endian bytes (2 per 16-bit sample, 3 packed
// bytes per 24-bit sample; stereo interleaves left then right; dual mono keeps the
// left and right samples in two separate streams). On a little-endian host the
// kernels move a sample with one unaligned word load or store (for 24-bit samples
// a 4-byte word, except in the last frame of a call); on any other host they go
// byte by byte. On an x86-64 processor with SSSE3 the 24-bit kernels other than
// MonoSum move 8 frames at a time with byte shuffles instead, and the frames left
// over take the word path. Every path gives the same result, and none touches a
// byte outside the `count` frames given.
//
// Every kernel takes a frame count and raw pointers, one pass, nothing allocated.
// A count of 0 or less, or any null pointer, makes it do nothing at all. Widening
// kernels take the staged frames first and the source streams after (left before
// right); narrowing kernels take the destination streams first and the frames last.
// The byte streams must not overlap the frames, nor one another.
#pragma once

#include <cstdint>

// Entries in the fade table.
constexpr int32_t kFadeTableSize = 4096;

// The fade curve: 4096 non-decreasing entries, a square root rising from silence
// towards full scale. Entries 0 to 3 are 0; entry i from 4 on is
// floor(sqrt(i / 4096) * (2^31 - 1)), computed exactly in integers. Only the upper
// 16 bits of an entry act as the gain (0 to 32763, standing for gain / 32768).
// A fade-in reads the table forwards, a fade-out backwards. Constant data, safe to
// read from any thread.
const uint32_t* FadeTable();

// Widening: `count` frames from file bytes into staged frames.
// Interleaved 16-bit stereo, 4 bytes per frame.
void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
// 16-bit mono, 2 bytes per frame; the sample goes to both halves of the frame.
void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
// Interleaved 24-bit stereo, 6 bytes per frame.
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
// 24-bit mono, 3 bytes per frame; the sample goes to both halves of the frame.
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src);

// Narrowing: `count` staged frames into file bytes. The low 16 (or 8) bits of each
// staged sample are dropped by an arithmetic shift, that is truncation towards
// minus infinity, without rounding; a staged sample always fits, so nothing clips.
//
// The Mono kernels write the first sample of each 8-byte frame and step a whole
// frame at a time. To write the right channel, pass frames + 1 (the first frame's
// right sample) with the same count.
//
// The MonoSum kernels add left and right as signed 32-bit values, saturating at
// 2^31 - 1 and -2^31, and narrow the sum. The sum is not halved: two equal
// channels give twice their level, and two full-scale channels clip at full scale.
void Conv32to16bitStereo(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitMono(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames);
void Conv32to24bitStereo(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames);

// The same kernels, always one byte at a time: the path a big-endian host takes for
// every frame and a little-endian one for the last frame of a 24-bit call. Here so
// that the tests check it on any host; the renderer uses the kernels above.
namespace bytewise {
void Conv16Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
void Conv16Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
void Conv24Stereoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
void Conv24Monoto32bit(int32_t count, int32_t* frames, const uint8_t* src);
void Conv32to16bitStereo(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitMono(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to16bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames);
void Conv32to24bitStereo(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitMono(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitMonoSum(int32_t count, uint8_t* dest, const int32_t* frames);
void Conv32to24bitDualMono(int32_t count, uint8_t* left, uint8_t* right, const int32_t* frames);
}  // namespace bytewise

// Scales `count` staged frames in place by the gains of consecutive table entries:
// frame k uses entry[k * step] (the step is signed, so a negative step walks the
// table backwards). With g the upper 16 bits of the entry, each sample becomes
// 2 * g * (sample >> 16): a faded sample keeps only the upper 16 bits of its
// source, and the greatest gain of the table gives 65526/65536 of the input.
// The caller keeps every entry it reaches inside the table; nothing is checked here.
void FadeBuffer(int32_t count, int32_t step, int32_t* frames, const uint32_t* entry);
