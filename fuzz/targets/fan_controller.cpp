// The fan controller's replies (80-byte parameter blocks, one per exchange, taken from the
// input in turn) and the registry's creator texts.
#include "bridge/decode.h"

#include <cstring>
#include <string>

namespace {

struct Replies {
    const uint8_t* data;
    size_t size;
};

int exchange(void* context, const smc_param_block*, smc_param_block* reply) {
    auto* r = static_cast<Replies*>(context);
    if (r->size < sizeof *reply) return -1;
    std::memcpy(reply, r->data, sizeof *reply);
    r->data += sizeof *reply;
    r->size -= sizeof *reply;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Replies replies{data, size};
    smc_fan_count_with(exchange, &replies);
    smc_fan_value_with(exchange, &replies, size > 0 ? data[0] % 12 : 0, "Ac");
    smc_param_block block;
    if (smc_read_with(exchange, &replies, "TC0P", &block) == 0) smc_decode(&block);
    const std::string text(reinterpret_cast<const char*>(data), size);
    gpu_creator_pid(text.c_str());
    return 0;
}
