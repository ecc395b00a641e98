#pragma once

#include <QCoroTask>
#include <QWidget>
#include <vector>

#include "writing/AlphaVideoCodec.h"

class QVBoxLayout;

namespace tk {

class SPicker;
class SToggle;

// The studio section that switches recording with an alpha channel on and picks its codec. The
// switch is offered while any alpha codec can be written here; the picker lists only those codecs.
// Each time the section is shown it asks (on a worker) which codecs those are, and when there are
// none it switches a stored "enableAlphaChannel" off. Main thread only.
class AlphaChannelSettingsSection : public QWidget {
  Q_OBJECT
 public:
  explicit AlphaChannelSettingsSection(QWidget* parent = nullptr);

  // The alpha codecs a recording can be written with here: those the alpha check lists whose
  // writer settings the installed encoders open, in declaration order. Blocks; any thread.
  static std::vector<AlphaVideoCodec> offeredAlphaCodecs();
  // "HEVC with Alpha", "ProRes 4444", "ProRes 4444 XQ".
  static QString label(AlphaVideoCodec codec);

  bool isAlphaChannelSupported() const { return isAlphaChannelSupported_; }
  const std::vector<AlphaVideoCodec>& supportedAlphaCodecs() const { return supportedAlphaCodecs_; }

  // Asks which codecs are offered, off the main thread, and applies the answer.
  QCoro::Task<> checkSupport();
  // Takes a check's answer: shows or hides the rows, then switches alpha off when none is offered.
  void applySupport(std::vector<AlphaVideoCodec> codecs);

  SToggle* toggle() const { return toggle_; }
  QWidget* warning() const { return warning_; }
  // Null while the picker is not shown.
  SPicker* codecPicker() const { return picker_; }

 signals:
  void supportChecked();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void updateRows();

  bool isAlphaChannelSupported_ = false;
  std::vector<AlphaVideoCodec> supportedAlphaCodecs_;
  QVBoxLayout* layout_ = nullptr;
  SToggle* toggle_ = nullptr;
  QWidget* warning_ = nullptr;
  SPicker* picker_ = nullptr;
};

}  // namespace tk
