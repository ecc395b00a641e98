#include "app/SavedRecordingNotice.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tk {

SavedRecordingWindow::SavedRecordingWindow(const std::filesystem::path& saved,
                                           const std::vector<std::string>& problems)
    : path_(QString::fromStdString(saved.string())) {
  setWindowTitle(QStringLiteral("Recording Saved"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(QStringLiteral("Your recording was saved to:"));
  layout->addWidget(heading);
  // File names come from the settings and the clock: never markup.
  auto* path = new QLabel(path_);
  path->setTextFormat(Qt::PlainText);
  path->setTextInteractionFlags(Qt::TextSelectableByMouse);
  path->setWordWrap(true);
  path->setAccessibleName(QStringLiteral("Saved recording path"));
  layout->addWidget(path);
  for (const std::string& problem : problems) {
    problems_ << QString::fromStdString(problem);
    auto* line = new QLabel(QStringLiteral("⚠ ") + problems_.back());
    line->setTextFormat(Qt::PlainText);
    line->setWordWrap(true);
    layout->addWidget(line);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  copy_ = new QPushButton(QStringLiteral("&Copy Path"));
  connect(copy_, &QPushButton::clicked, this, [this] {
    QGuiApplication::clipboard()->setText(path_);
    copy_->setText(QStringLiteral("&Copied"));
  });
  buttons->addWidget(copy_);
  auto* close = new QPushButton(QStringLiteral("Close"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  buttons->addWidget(close);
  layout->addLayout(buttons);
}

SavedRecordingNotice::SavedRecordingNotice() {
  RecordingShell::installSavedNotice(this);
}

SavedRecordingNotice::~SavedRecordingNotice() {
  if (RecordingShell::savedNotice() == this) RecordingShell::installSavedNotice(nullptr);
  if (window_) delete window_.data();
}

void SavedRecordingNotice::showSaved(const std::filesystem::path& saved,
                                     const std::vector<std::string>& problems) {
  if (window_) delete window_.data();
  window_ = new SavedRecordingWindow(saved, problems);
  window_->show();
  window_->raise();
}

}  // namespace tk
