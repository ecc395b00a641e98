#pragma once

#include "model/RecordingMetadata.h"

namespace tk {

// A metadata document comes from disk and may have been edited or damaged: every value the editor
// and the exports use is brought into the range they work in. Times are clamped to 0...`duration`
// (the movie's length; the document's own when the movie's is unknown); zoom levels to 1...3, eases
// to 0.05...2, pan smoothing to 0...1, dead zones to 0...0.3, zoom centres to 0...1. An item with a
// value that is not a number, or a zoom segment left with no length, is dropped. Any thread.
RecordingMetadata checkedRecordingMetadata(RecordingMetadata metadata, double duration);

}  // namespace tk
