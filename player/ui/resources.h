// The player's artwork lives in a resource compiled into the ui library;
// a static library's resources are registered by calling this once.
#pragma once

namespace vistamo::ui {

void initResources();

}  // namespace vistamo::ui
