#include "resources.h"

#include <QtGlobal>

static void initImages() { Q_INIT_RESOURCE(images); }

namespace vistamo::ui {

void initResources() { initImages(); }

}  // namespace vistamo::ui
