#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <optional>

#include "editor/ExportResult.h"
#include "editor/VideoTrimmerViewModel.h"
#include "export/RoundedCameraCompositorSettings.h"
#include "model/RecordingMetadata.h"
#include "platform/media/PixelBuffer.h"

namespace tk::test {

// One recording made by the coordinator for the whole test program: a green window (20, 200, 60) of
// 320 × 240 recorded alone for three seconds with a 440 Hz tone in the system audio, and beside it a
// red camera layer of 160 × 120 that lasts 1.5 s.
struct RecordedMovie {
  std::filesystem::path movie;
  std::filesystem::path camera;
};
const RecordedMovie& recordedMovie();
// A green movie (kWindowGreen) of 320 × 240 lasting two seconds with no sound track at all, as a
// movie made without sound elsewhere is. (The coordinator writes silence when nothing is heard.)
const std::filesystem::path& soundlessMovie();

inline constexpr uint32_t kWindowGreen = 0xFF14C83C;
inline constexpr uint32_t kCameraRed = 0xFFDC1E1E;

// A movie of one colour with a silent sound track (or none), written by our own writer.
void writeSolidMovie(const std::filesystem::path& file, int width, int height, double seconds, uint32_t argb,
                     bool withAudio = true);
// A movie with a tone and no picture, written by our own writer.
void writeSoundOnlyMovie(const std::filesystem::path& file, double seconds);

// A folder of its own holding a copy of the recording (and, when given, its metadata beside it),
// with a view model that has loaded it.
class LoadedEditor {
 public:
  explicit LoadedEditor(const std::optional<RecordingMetadata>& metadata = std::nullopt,
                        const std::filesystem::path& source = recordedMovie().movie);
  bool loaded() const { return loaded_; }
  VideoTrimmerViewModel& model() { return *model_; }
  const std::filesystem::path& movie() const { return movie_; }
  std::filesystem::path folder() const { return dir_.path().toStdString(); }
  // Files in the folder other than the movie and its metadata.
  std::vector<std::filesystem::path> outputs() const;

 private:
  QTemporaryDir dir_;
  std::filesystem::path movie_;
  std::unique_ptr<VideoTrimmerViewModel> model_;
  bool loaded_ = false;
};

// Exports write the process-wide compositor settings; a test that exports puts them back after.
class SharedSettingsRestorer {
 public:
  SharedSettingsRestorer() : saved_(RoundedCameraCompositorSettings::shared()) {}
  ~SharedSettingsRestorer() { RoundedCameraCompositorSettings::shared() = saved_; }

 private:
  RoundedCameraCompositorSettings saved_;
};

// Collects an export's result.
struct ExportWait {
  std::optional<ExportResult> result;
  int calls = 0;
  ExportCompletion completion();
  // Waits for the completion; false when it never came.
  bool wait();
};

// The frame a movie shows at `seconds`, decoded by our own reader.
std::shared_ptr<PixelBuffer> frameOf(const std::filesystem::path& movie, double seconds);
// Whether two 0xAARRGGBB colours differ by at most `tolerance` in each channel.
bool closeTo(uint32_t argb, uint32_t expected, int tolerance = 40);

}  // namespace tk::test
