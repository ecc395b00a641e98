#pragma once

namespace tk {

// Holds whether the user allowed notifications. Nothing posts notifications yet.
class NotificationManager {
 public:
  bool isAuthorized = false;
};

}  // namespace tk
