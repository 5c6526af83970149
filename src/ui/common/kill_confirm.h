#pragma once

#include "inspect/kill_advisor.h"

class QWidget;

namespace velmora {

// Asks the user to confirm ending the processes of `request`: the advice's title and
// message as plain text, an icon by its severity, the destructive button named for the kind
// of quit. True when confirmed. Every window that ends processes asks through this.
bool confirmKill(const KillRequest& request, QWidget* parent);

}  // namespace velmora
