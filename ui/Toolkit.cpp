// Toolkit behaviour shared by every implementation.
#include "ui/Toolkit.h"

namespace ui {

std::string ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

}  // namespace ui
