// The recording tests drive the real status item, floating panel and editor window registry. Their
// library (the application shell's) sits above the recording library and is not linked into this
// program, so their sources are compiled in here.
#include "app/FloatingRecordingPanel.cpp"
#include "app/FloatingRecordingPanelController.cpp"
#include "app/StatusBarController.cpp"
#include "editor_ui/VideoTrimmerManager.cpp"
