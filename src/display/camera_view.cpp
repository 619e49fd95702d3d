#include "display/camera_view.h"

namespace strixc::display {

std::string DefaultCameraName(int camera) { return "Camera " + std::to_string(camera + 1); }

}  // namespace strixc::display
