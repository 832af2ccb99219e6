// Recordings of matches: the text format's records, the gameState digest,
// the writer (to any byte sink) and the reader (from bytes in memory).
// Platform-free: the window and the simulator bring the files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/engine.h"

// The first word of every recording and the newest format this code reads.
extern const char RECORDING_MAGIC[];  // "blocktide-recording"
constexpr int32_t RECORDING_FORMAT = 1;

// Limits that keep a bad file from costing unbounded memory or time.
constexpr size_t RECORDING_MAX_LINE = 255;            // characters, without the end of line
constexpr size_t RECORDING_MAX_BYTES = 256u << 20;    // a file past this is refused unread
constexpr size_t RECORDING_MAX_EVENTS = 8000000;
constexpr int64_t RECORDING_MAX_FRAMES = 100000000;   // in all runs together: about 11 days;
                                                      // also the most a simulator run plays
constexpr int32_t DIGEST_EVERY_FRAMES = 100;          // one second of frame ticks
static_assert(RECORDING_MAX_FRAMES == 100000000, "the reader's and the simulator's messages spell the limit");

// A field-by-field hash of gameState and randState (never of the record's
// bytes: padding between fields is not part of the state).
uint64_t DigestGameState();

// What a digest line follows: a second of frames, a player going out, Stop,
// or the end of the recording with a match still running.
enum class DigestKind : uint8_t { Second, Over, Stop, End };
constexpr int32_t DIGEST_KINDS = 4;
// Their words in a digest line, indexed by the kind: "second" to "end".
inline constexpr const char* DIGEST_KIND_NAMES[DIGEST_KINDS] = {"second", "over", "stop", "end"};

// The state a Start begins from: what ResetPlayer does not reset, and the
// tick count the first draw of the process reads (when this Start makes it).
struct MatchStart {
  bool rngSeeded;
  uint32_t randState;
  int32_t rngSeed[2];
  uint32_t tickCount;
  uint8_t shadowOn[2];
  Board drawBoard[2];
};

enum class EventKind : uint8_t { Start, Frames, Gravity, Shadow, Stop, Digest };

// One line of the recording after the header. `out` marks a player who was
// out in that frame (no action was asked for).
struct RecordedEvent {
  EventKind kind;
  uint8_t player;          // Gravity, Shadow
  uint8_t value;           // Shadow: the switch's byte; Digest: its DigestKind
  bool out[2];             // Frames
  Action action[2];        // Frames
  uint32_t line;           // 1-based line number in the file
  int64_t count;           // Frames: identical frames in the run; Start: index into starts
  uint64_t digest;         // Digest
};

struct Recording {
  int32_t format;
  char version[32];        // the recording program's version, as written
  std::vector<MatchStart> starts;
  std::vector<RecordedEvent> events;
};

// Reads a whole recording. On a fault returns false with a message naming
// the line in `error` (and `out` left partly filled: use none of it).
bool ReadRecording(const char* data, size_t size, Recording& out, char* error, size_t errorSize);

// ---- Writing ---------------------------------------------------------------

// Where the recorder's text goes; false when the bytes could not be written.
typedef bool (*RecordingSink)(void* context, const char* bytes, size_t count);

constexpr size_t RECORDER_BUFFER_BYTES = 16384;

// A recorder writes one run of the program. Its hooks come from the host:
// the actions and the tick count it handed the engine, and the commands and
// ticks it ran. Nothing here allocates.
struct Recorder {
  RecordingSink sink;
  void* context;
  bool open;               // writing; false before Open and after a failure or Close
  bool failed;             // a write failed: the recording stopped there
  bool live;               // a match runs: Start seen, not yet Stop or both out
  bool startTickRead;      // the tick count was read during this Start
  uint32_t startTick;
  MatchStart pending;      // generator state captured before Start
  bool wasOut[2];          // out at the last event: a change writes a digest
  bool asked[2];           // the engine asked for p's action in this frame
  Action action[2];
  bool runOut[2];          // the frame run being counted
  Action runAction[2];
  int64_t runFrames;
  int32_t framesSinceDigest;
  size_t used;
  char buffer[RECORDER_BUFFER_BYTES];
  // Another recorder every hook feeds as well, open or not (the window's
  // kept match beside its --record file); Open clears it.
  Recorder* also;
};

// Starts a recording: the header line, written at once.
bool RecorderOpen(Recorder& r, RecordingSink sink, void* context, const char* version);
// Ends it: the frames still counted, a digest if a match is running, flushed.
void RecorderClose(Recorder& r);

// Host hooks (each does nothing when the recorder is not open, except that
// RecordFrame always ends the frame: the actions asked are forgotten).
void RecordActionAsked(Recorder& r, int p, Action a);  // ActionSource's answer
void RecordTickRead(Recorder& r, uint32_t tick);        // ReadTickCount's answer
void RecordBeforeStart(Recorder& r);                     // before ResetPlayer(0) of Start
void RecordAfterStart(Recorder& r);                      // after ResetPlayer(1)
void RecordFrame(Recorder& r);                           // after FrameTick
void RecordShadow(Recorder& r, int p);                   // after p's switch changed
void RecordStop(Recorder& r);                            // after Stop
// A gravity tick of player p, recorded when it can change anything (p in
// play, the match not paused): the test must be made before the tick, which
// may end the player. Every host runs its gravity ticks through this.
void RecordedGravityTick(Recorder& r, int p);

// Action names as the recording writes them, indexed by the Action's value;
// a value past them is written as its number. The simulator's scripts take
// them too.
constexpr int32_t RECORDED_ACTIONS = 9;
inline constexpr const char* RECORDED_ACTION_NAMES[RECORDED_ACTIONS] = {"speedup", "left", "right", "cw",  "ccw",
                                                                      "swap",    "pause", "fall", "none"};
