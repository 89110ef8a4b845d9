#pragma once
// The conversation between the stand-in voice and its speech helper, a native program
// that synthesises with eSpeak NG. Under Wine the helper cannot share pipes with the
// voice, so the two talk over a loopback TCP connection that the voice listens on and
// the helper connects to.
//
// Every message is a header followed by `bytes` bytes of body. All fields are 32-bit
// little-endian, so the voice reads the same layout whether it is built for 32 or 64 bits.
//
//   helper -> voice   Hello   HelloBody, once, right after connecting
//   voice -> helper   Speak   SpeakBody then the text as UTF-16 code units
//   voice -> helper   Cancel  no body: stop the request as soon as possible
//   helper -> voice   Word    WordBody, before the audio that contains its sample
//   helper -> voice   Audio   16-bit mono PCM samples at the helper's sample rate
//   helper -> voice   Done    no body: the request's last message, finished or cancelled
//
// The voice sends a new Speak only after the Done of the previous one. The helper ends
// when the connection closes, so it never outlives the voice that started it.
#include <cstdint>

namespace helper_protocol {

enum MessageKind : uint32_t {
    kHello = 1,
    kSpeak = 2,
    kCancel = 3,
    kWord = 4,
    kAudio = 5,
    kDone = 6,
};

struct MessageHeader {
    uint32_t kind;
    uint32_t request;
    uint32_t bytes;
};

// The key proves to the voice that it is talking to the helper it started, not to some
// other local program that found the listening port first.
struct HelloBody {
    uint32_t keyLow;
    uint32_t keyHigh;
    uint32_t sampleRate;
};

struct SpeakBody {
    uint32_t wordsPerMinute;
    uint32_t textUnits;
};

// A word eSpeak NG speaks: where it starts in the request's audio (in samples) and
// where it is in the request's text (in UTF-16 code units).
struct WordBody {
    uint32_t sample;
    uint32_t pos;
    uint32_t len;
};

// Far more than any sentence the voice sends; a bound against a corrupt stream.
constexpr uint32_t kMaxBodyBytes = 64u * 1024 * 1024;

} // namespace helper_protocol
