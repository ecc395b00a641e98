#pragma once

#include <QUuid>
#include <functional>
#include <optional>

namespace tk {

// A selection owned elsewhere (the editor view's), read and written through its owner. Main thread.
struct SelectionBinding {
  std::function<std::optional<QUuid>()> get;
  std::function<void(std::optional<QUuid>)> set;

  std::optional<QUuid> value() const { return get ? get() : std::nullopt; }
  void assign(std::optional<QUuid> id) const {
    if (set) set(id);
  }
};

}  // namespace tk
