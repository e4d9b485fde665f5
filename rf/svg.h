#pragma once

#include "rf/picture.h"

#include <string>

namespace veltrane::rf {

// The picture as a standalone SVG 1.1 document: UTF-8, generic sans-serif text, one clip path
// per clip rectangle.
[[nodiscard]] std::string svg_text(const Picture& picture);

} // namespace veltrane::rf
