#pragma once

namespace tk {

class RecordingControl;
class ShareableContentSource;

// What the pickers are given by the application: the recording coordinator and the desktop's
// content. Tests give fakes.
struct SelectionServices {
  RecordingControl* recording = nullptr;
  ShareableContentSource* content = nullptr;
};

}  // namespace tk
