/* The byte-level protocol of the fan controller and the registry texts the Apple
 * implementations receive. Portable, so the decoding is exercised on every platform; the
 * exchange itself is a function the caller supplies. */
#ifndef VELMORA_BRIDGE_DECODE_H
#define VELMORA_BRIDGE_DECODE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The controller's 80-byte parameter block, exchanged in both directions. Multi-byte
 * fields are in the machine's order; all fields not named are zero in requests. */
typedef struct {
    uint32_t key;         /* four characters, the first in the most significant byte */
    uint8_t reserved[24]; /* version and power-limit blocks */
    uint32_t data_size;   /* byte count of the key's value */
    uint32_t data_type;   /* four characters packed like the key ("fpe2", "flt ") */
    uint8_t data_attributes;
    uint8_t padding0[3];
    uint8_t result;
    uint8_t status;
    uint8_t command;
    uint8_t padding1;
    uint32_t data32;
    uint8_t bytes[32]; /* the key's value */
} smc_param_block;

enum {
    SMC_BLOCK_SIZE = 80,
    SMC_COMMAND_READ_INFO = 9,
    SMC_COMMAND_READ_BYTES = 5,
    SMC_SELECTOR = 2,
};

/* One synchronous request-reply exchange with the controller; 0 on success. */
typedef int (*smc_exchange_fn)(void* context, const smc_param_block* request, smc_param_block* reply);

/* Packs up to four characters into a key or type code; missing characters count as 0. */
uint32_t smc_pack(const char* text);
/* The key of one fan reading: "F" + fan number + suffix, cut to four characters. */
void smc_fan_key(char out[5], int fan, const char* suffix);
/* Reads one key: asks for its size and type, then for its bytes. The reply carries the
 * type from the first answer. 0 on success, -1 on failure. */
int smc_read_with(smc_exchange_fn exchange, void* context, const char* key, smc_param_block* out);
/* The value of a reply: "fpe2" is unsigned 16-bit big-endian with two fraction bits, "flt "
 * a float in the machine's order; any other type gives -1. */
float smc_decode(const smc_param_block* reply);
/* "FNum" (its first byte), or -1. */
int smc_fan_count_with(smc_exchange_fn exchange, void* context);
/* One fan reading decoded, or -1. */
float smc_fan_value_with(smc_exchange_fn exchange, void* context, int fan, const char* suffix);

#ifdef __APPLE__
/* Reads one key from the controller over the shared connection; 0 on success, -1 on failure. */
int smc_read(const char* key, smc_param_block* out);
#endif

/* The pid in a registry client's creator text ("pid 812, WindowServer"), or -1. */
int gpu_creator_pid(const char* text);

#ifdef __cplusplus
}
#endif

#endif
