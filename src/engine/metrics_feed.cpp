#include "engine/metrics_feed.h"

// The feed interface's meta-object, and the empty attribution of feeds that keep none.

namespace velmora {

const AttributionLog& MetricsFeed::attribution() const {
    static const AttributionLog none;
    return none;
}

}  // namespace velmora
