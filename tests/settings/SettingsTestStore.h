#pragma once

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "platform/qt/SettingsStore.h"

namespace tk::test {

// A private settings file that stands in for the user's store while a test runs, so the code under
// test reads and writes it through SettingsStore::standard() as the application does.
class SettingsTestStore {
 public:
  SettingsTestStore() { SettingsStore::useFileForStandard(path()); }
  ~SettingsTestStore() { SettingsStore::useFileForStandard({}); }

  QString path() const { return dir_.filePath("settings.conf"); }
  // Another store on the same file, as the next launch reads it.
  std::unique_ptr<SettingsStore> reopened() const {
    SettingsStore::standard().sync();
    return std::make_unique<SettingsStore>(path());
  }
  SettingsStore& store() const { return SettingsStore::standard(); }

  // Writes the file as another program (or an older version) would leave it: values as text.
  void writeText(const QByteArray& iniBody) {
    QFile file(path());
    file.open(QIODevice::WriteOnly);
    file.write("[General]\n" + iniBody);
    file.close();
    SettingsStore::useFileForStandard(path());
  }

 private:
  QTemporaryDir dir_;
};

}  // namespace tk::test
