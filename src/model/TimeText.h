#pragma once

#include <string>

namespace tk {

// Whole minutes and seconds, both at least two digits, minutes never wrapped into hours:
// 7 s "00:07", 65 s "01:05", 4503 s "75:03". Negative or non-finite times read "00:00".
std::string minutesAndSeconds(double seconds);

}  // namespace tk
