#include "model/RecordingConfiguration.h"

#include "platform/qt/Diagnostics.h"
#include "platform/qt/SettingsStore.h"

namespace tk {

void RecordingConfiguration::loadStudioConfiguration() {
  loadStudioConfiguration(SettingsStore::standard());
}

void RecordingConfiguration::loadStudioConfiguration(const SettingsStore& store) {
  const bool clickToZoom = store.boolValue("enableClickToZoom");
  const bool separateLayers = store.boolValue("enableSeparateLayers");
  const bool alphaChannel = store.boolValue("enableAlphaChannel");
  if (!clickToZoom && !separateLayers && !alphaChannel) {
    studioConfig.reset();
    return;
  }

  StudioRecordingConfiguration studio;
  studio.enableAlphaChannel = alphaChannel;
  studio.enableSeparateLayers = separateLayers;
  studio.enableClickToZoom = clickToZoom;
  if (clickToZoom) {
    // As the settings window shows them: zooming by 0 or over 0 s would make every click-to-zoom
    // recording useless, and a number beyond its slider is one the person cannot see or undo.
    studio.zoomLevel = kZoomLevelSetting.read(store);
    studio.zoomDuration = kZoomDurationSetting.read(store);
    studio.clickThreshold = kClickThresholdSetting.read(store);
  }
  studioConfig = studio;

  Diagnostics::line("📋 Loaded Studio configuration:");
  Diagnostics::line("   Click-to-Zoom: " + boolText(clickToZoom));
  Diagnostics::line("   Separate Layers: " + boolText(separateLayers));
  Diagnostics::line("   Alpha Channel: " + boolText(alphaChannel));
  if (clickToZoom) {
    Diagnostics::line("   Zoom Level: " + formatDouble(studio.zoomLevel) + "x");
    Diagnostics::line("   Zoom Duration: " + formatDouble(studio.zoomDuration) + "s");
    Diagnostics::line("   Click Threshold: " + formatDouble(studio.clickThreshold) + "s");
  }
}

}  // namespace tk
