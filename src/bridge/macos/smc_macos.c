/* Fan speeds from the System Management Controller through its IOKit user client. One
 * connection is opened on first use and kept for the life of the process; a failed open is
 * retried by the next call. Called only from the sampling thread and the engine's setup. */
#include "bridge/macos/bridge_macos.h"
#include "bridge/decode.h"

#include <IOKit/IOKitLib.h>
#include <mach/mach.h>

#include <stddef.h>

/* The controller's user client takes exactly its 80-byte block; the portable decoder reads
 * the fields below by offset, so the Apple compiler must lay the block out the same way. */
_Static_assert(sizeof(smc_param_block) == SMC_BLOCK_SIZE, "the controller's block is 80 bytes");
_Static_assert(offsetof(smc_param_block, key) == 0, "key at 0");
_Static_assert(offsetof(smc_param_block, data_size) == 28 && offsetof(smc_param_block, data_type) == 32,
               "size and type travel together from 28");
_Static_assert(offsetof(smc_param_block, result) == 40 && offsetof(smc_param_block, command) == 42,
               "result at 40, command at 42");
_Static_assert(offsetof(smc_param_block, bytes) == 48 && sizeof(((smc_param_block*)0)->bytes) == 32,
               "32 value bytes at 48");

static io_connect_t connection = 0;

static int smc_open(void) {
    if (connection != 0) return 0;
    io_service_t service = IOServiceGetMatchingService(kIOMainPortDefault, IOServiceMatching("AppleSMC"));
    if (!service) return -1;
    io_connect_t opened = 0;
    kern_return_t kr = IOServiceOpen(service, mach_task_self(), 0, &opened);
    IOObjectRelease(service);
    if (kr != KERN_SUCCESS) return -1;
    connection = opened;
    return 0;
}

static int smc_exchange(void* context, const smc_param_block* request, smc_param_block* reply) {
    (void)context;
    size_t reply_size = sizeof *reply;
    kern_return_t kr =
        IOConnectCallStructMethod(connection, SMC_SELECTOR, request, sizeof *request, reply, &reply_size);
    return kr == KERN_SUCCESS ? 0 : -1;
}

int smc_read(const char* key, smc_param_block* out) {
    if (smc_open() != 0) return -1;
    return smc_read_with(smc_exchange, NULL, key, out);
}

int smc_fan_count(void) {
    if (smc_open() != 0) return -1;
    return smc_fan_count_with(smc_exchange, NULL);
}

float smc_fan_value(int fan, const char* suffix) {
    if (smc_open() != 0) return -1;
    return smc_fan_value_with(smc_exchange, NULL, fan, suffix);
}

float smc_fan_rpm(int fan) {
    return smc_fan_value(fan, "Ac");
}
float smc_fan_target(int fan) {
    return smc_fan_value(fan, "Tg");
}
float smc_fan_min(int fan) {
    return smc_fan_value(fan, "Mn");
}
float smc_fan_max(int fan) {
    return smc_fan_value(fan, "Mx");
}
