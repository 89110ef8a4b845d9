#pragma once
// The conversation between the stand-in voice and its speech helper, a native program
// that synthesises with eSpeak NG. Under Wine the helper cannot share pipes with the
// voice, so the two talk over a loopback TCP connection that the voice listens on and
// the helper connects to.
//
// Every message is a header followed by `bytes` bytes of body. All fields are 32-bit
// little-endian, so the voice reads the same layout whether it is built for 32 or 64 bits.
//
//   helper -> voice   Hello      HelloBody, once, at once after connecting
//   voice -> helper   Speak      SpeakBody, the eSpeak NG voice's name (ASCII), then the
//                                text as UTF-16 code units
//   voice -> helper   Cancel     no body: stop the request as soon as possible
//   helper -> voice   Word       WordBody, before the audio that contains its sample
//   helper -> voice   Audio      16-bit mono PCM samples at the helper's sample rate
//   helper -> voice   Done       no body: the request's last speech, finished or cancelled
//   helper -> voice   Cancelled  no body: the answer to every Cancel, after that request's
//                                Done, whether it was still under way or long finished
//
// The voice sends a new Speak only after the Done of the previous one and, when it
// cancelled that one, its Cancelled. The helper ends when the connection closes, so it
// never outlives the voice that started it.
//
// Any local program can connect to a loopback port, so the voice talks only to the
// connection whose Hello carries the key it gave the helper. The key goes to the helper
// in its environment (kKeyVariable), which only the same user can read, never on its
// command line, which every user can; the helper wipes it as soon as it has read it.
#include <cstdint>

namespace helper_protocol {

enum MessageKind : uint32_t {
    kHello = 1,
    kSpeak = 2,
    kCancel = 3,
    kWord = 4,
    kAudio = 5,
    kDone = 6,
    kCancelled = 7,
};

struct MessageHeader {
    uint32_t kind;
    uint32_t request;
    uint32_t bytes;
};

// The key, as 32 hexadecimal digits, in the helper's environment.
constexpr char kKeyVariable[] = "CLIPVOCE_HELPER_KEY";
constexpr unsigned kKeyWords = 4;

struct HelloBody {
    uint32_t key[kKeyWords];
    uint32_t sampleRate;
};

struct SpeakBody {
    uint32_t wordsPerMinute;
    uint32_t textUnits;
    uint32_t voiceBytes;
    int32_t pitch;   // -10..10, as speech markup gives it; 0 is the voice's own
};

// Longer than any eSpeak NG voice name ("en-gb-x-gbclan"); a bound against a corrupt stream.
constexpr uint32_t kMaxVoiceBytes = 64;

// A word eSpeak NG speaks: where it starts in the request's audio (in samples) and
// where it is in the request's text (in UTF-16 code units).
struct WordBody {
    uint32_t sample;
    uint32_t pos;
    uint32_t len;
};

// Far more than any sentence the voice sends; a bound against a corrupt stream.
constexpr uint32_t kMaxBodyBytes = 64u * 1024 * 1024;
// The helper sends audio in pieces of tens of milliseconds; a bound on one piece.
constexpr uint32_t kMaxAudioBytes = 1024u * 1024;

} // namespace helper_protocol
