// Registers the compiled-in resources of the static window library.
#include "gui/resources.h"

#include <QtCore/qresource.h>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitGuiResources() { Q_INIT_RESOURCE(gui); }

namespace quarvel::gui {

void InitResources() {
  static const bool done = (InitGuiResources(), true);
  (void)done;
}

}  // namespace quarvel::gui
