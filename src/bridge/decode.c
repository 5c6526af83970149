#include "bridge/decode.h"

#include <stdio.h>
#include <string.h>

_Static_assert(sizeof(smc_param_block) == SMC_BLOCK_SIZE, "parameter block is 80 bytes");
_Static_assert(offsetof(smc_param_block, data_size) == 28, "data size at 28");
_Static_assert(offsetof(smc_param_block, data_type) == 32, "data type at 32");
_Static_assert(offsetof(smc_param_block, result) == 40, "result at 40");
_Static_assert(offsetof(smc_param_block, command) == 42, "command at 42");
_Static_assert(offsetof(smc_param_block, data32) == 44, "data32 at 44");
_Static_assert(offsetof(smc_param_block, bytes) == 48, "bytes at 48");

uint32_t smc_pack(const char* text) {
    uint32_t v = 0;
    int ended = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char c = ended ? 0 : (unsigned char)text[i];
        if (c == 0) ended = 1;
        v = (v << 8) | c;
    }
    return v;
}

void smc_fan_key(char out[5], int fan, const char* suffix) {
    snprintf(out, 5, "F%d%s", fan, suffix);
}

int smc_read_with(smc_exchange_fn exchange, void* context, const char* key, smc_param_block* out) {
    smc_param_block request, info;
    memset(&request, 0, sizeof request);
    memset(&info, 0, sizeof info);
    memset(out, 0, sizeof *out);
    request.key = smc_pack(key);
    request.command = SMC_COMMAND_READ_INFO;
    if (exchange(context, &request, &info) != 0) return -1;
    /* Size and type travel together (8 bytes from offset 28) into the value request. */
    memcpy((uint8_t*)&request + 28, (const uint8_t*)&info + 28, 8);
    request.command = SMC_COMMAND_READ_BYTES;
    if (exchange(context, &request, out) != 0) return -1;
    out->data_type = info.data_type;
    return 0;
}

float smc_decode(const smc_param_block* reply) {
    if (reply->data_type == smc_pack("fpe2")) {
        const unsigned raw = ((unsigned)reply->bytes[0] << 8) | reply->bytes[1];
        return (float)raw / 4.0f;
    }
    if (reply->data_type == smc_pack("flt ")) {
        float f;
        memcpy(&f, reply->bytes, sizeof f);
        return f;
    }
    return -1;
}

int smc_fan_count_with(smc_exchange_fn exchange, void* context) {
    smc_param_block reply;
    if (smc_read_with(exchange, context, "FNum", &reply) != 0) return -1;
    return reply.bytes[0];
}

float smc_fan_value_with(smc_exchange_fn exchange, void* context, int fan, const char* suffix) {
    char key[5];
    smc_fan_key(key, fan, suffix);
    smc_param_block reply;
    if (smc_read_with(exchange, context, key, &reply) != 0) return -1;
    return smc_decode(&reply);
}

int gpu_creator_pid(const char* text) {
    int pid = -1;
    if (!text || sscanf(text, "pid %d", &pid) != 1) return -1;
    return pid;
}
