#include "engine/metrics_feed.h"

// The feed interface has no code of its own; this file gives it its meta-object.
