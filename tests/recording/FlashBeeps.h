#pragma once

// A movie that flashes with a beep once a second, for judging how closely a recording of it keeps
// sound and picture together: made with FFmpeg, played on the desktop, and its flashes and beeps
// found again in the recording.

#include <QProcess>
#include <QRect>
#include <QSize>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "MovieProbe.h"

namespace tk::test {

// The flashes of eight seconds in a row differ in brightness, so that a beep of one recording can
// be told apart from the beeps a second or a few before and after it in another recording.
constexpr int kFlashCodes = 8;

// A movie of `seconds` at `size`: black, with a flash and a 1 kHz beep from 0.5 s to 0.6 s of every
// second; the flash of second k has its own grey by k % kFlashCodes.
bool makeFlashMovie(const std::filesystem::path& file, int seconds, QSize size = {160, 120});

struct Flash {
  double time = 0;    // seconds in the movie where it starts
  double length = 0;  // seconds from its first frame to the first frame without it
  int code = 0;       // which of kFlashCodes seconds in a row it belongs to
};

// Each beep with the offset from the flash nearest to it; one the start or a pause cut (a flash or
// a beep shorter than it should be) has no partner and is left out.
struct Pairing {
  std::vector<Flash> flashes;
  std::vector<double> beeps, paired, offsets;
  std::vector<int> codes;  // of each paired beep's flash
  std::string described;
};

// The flashes (within `area` of the picture, the whole picture when empty) and beeps of a recording.
Pairing pairBeepsWithFlashes(const std::filesystem::path& movie, const MovieFacts& facts,
                             const QRect& area = {});

// How far each beep lies from where the others sit. A player shows its first pictures unevenly
// while its output settles, and now and then a single one late on a busy machine, but its flashes
// keep one beat, and it puts a lag of its own between sound and picture: each beep is measured
// against that beat (the flashes' median phase), less that lag (the median of all beeps). A take
// paused and resumed has a beat of its own on each side of the pause: `cuts` are the movie times
// where a new one begins.
std::vector<double> beepsAgainstTheBeat(const Pairing& pairing, const std::vector<double>& cuts = {});

// An independent recording of the same moments next to ours: FFmpeg grabbing `area` of the screen
// from the X server and reading the sound server's `monitor` source, both kept on the wall clock
// (each input would otherwise start at zero on its own). What the player does shows in both; what
// only ours shows is ours.
class ReferenceRecording {
 public:
  ~ReferenceRecording();
  // Starts it and waits until it writes; false when it never begins.
  bool start(const QRect& area, const std::string& monitor, const std::filesystem::path& file);
  // Ends it and pairs its beeps and flashes; nothing when it failed or cannot be read.
  std::optional<Pairing> finish();
  const std::filesystem::path& file() const { return file_; }

 private:
  QProcess process_;
  std::filesystem::path file_;
};

// Our offsets less the reference's for the same beeps: what our recorder adds of its own. The two
// movies start at different moments and ours leaves out its pauses, so each stretch of ours has
// its own shift against the reference: the one under which the most beeps of the stretch find a
// reference beep with the same flash code at the same time.
//
// Each movie takes the screen 60 times a second on a beat of its own, so a flash starts in it up to
// a frame after the player showed it, and a frame or two later still where a busy machine grabbed
// late; a beep is placed to the sample in both. `bySound` lines up a stretch's pictures once (the
// median of its flashes against the reference's) and each beep by its sound: what is left moves
// with our sound alone. `soundShift` is how far the reference heard each beep later than we did.
struct AgainstReference {
  std::vector<double> times, differences;  // at our beeps that have a reference beep
  std::vector<double> bySound, soundShift;
  std::vector<int> stretches;  // which stretch of ours each lies in, from 0
  size_t unmatched = 0;        // our beeps without one, where the reference shows their flash
  // Our beeps without one whose flash the reference does not show whole (a busy machine kept its
  // frames out): there is nothing to judge them by.
  size_t unjudged = 0;
};
AgainstReference compareWithReference(const Pairing& ours, const Pairing& reference);

}  // namespace tk::test
