// The decoding of data the Apple implementations receive, fed with hand-built bytes.
#include "bridge/decode.h"
#include "platform/route_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace velmora;

namespace {

// A controller that answers from a table of keys: type code and value bytes.
struct FakeController {
    struct Value {
        const char* type;
        std::vector<uint8_t> bytes;
    };
    std::map<std::string, Value> keys;
    std::vector<smc_param_block> requests;
    int failAt = -1;  // the n-th exchange fails

    static int exchange(void* ctx, const smc_param_block* in, smc_param_block* out) {
        auto* self = static_cast<FakeController*>(ctx);
        self->requests.push_back(*in);
        if (static_cast<int>(self->requests.size()) - 1 == self->failAt) return -1;
        char key[5] = {static_cast<char>(in->key >> 24), static_cast<char>(in->key >> 16),
                       static_cast<char>(in->key >> 8), static_cast<char>(in->key), 0};
        auto it = self->keys.find(key);
        if (it == self->keys.end()) return -1;
        std::memset(out, 0, sizeof *out);
        if (in->command == SMC_COMMAND_READ_INFO) {
            out->data_size = static_cast<uint32_t>(it->second.bytes.size());
            out->data_type = smc_pack(it->second.type);
        } else if (in->command == SMC_COMMAND_READ_BYTES) {
            // The value reply does not repeat the type.
            std::memcpy(out->bytes, it->second.bytes.data(), std::min<size_t>(32, it->second.bytes.size()));
        } else {
            return -1;
        }
        return 0;
    }
};

std::vector<uint8_t> floatBytes(float f) {
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &f, 4);
    return b;
}

// One routing message of `size` bytes (at least 112).
std::vector<uint8_t> message(uint8_t type, uint8_t ifType, uint64_t in, uint64_t out, uint16_t size = 120) {
    std::vector<uint8_t> m(size, 0);
    std::memcpy(m.data(), &size, 2);
    m[3] = type;
    m[32] = ifType;
    std::memcpy(m.data() + 96, &in, 8);
    std::memcpy(m.data() + 104, &out, 8);
    return m;
}

}  // namespace

TEST(SmcProtocol, KeysAndBlockLayout) {
    EXPECT_EQ(smc_pack("FNum"), 0x464E756Du);
    char key[5];
    smc_fan_key(key, 0, "Ac");
    EXPECT_STREQ(key, "F0Ac");
    smc_fan_key(key, 10, "Ac");
    EXPECT_STREQ(key, "F10A") << "cut to four characters";
    EXPECT_EQ(sizeof(smc_param_block), 80u);
}

TEST(SmcProtocol, ReadAsksForInfoThenBytesAndDecodes) {
    FakeController smc;
    smc.keys["FNum"] = {"ui8 ", {2}};
    smc.keys["F0Ac"] = {"fpe2", {0x1F, 0x40}};
    smc.keys["F1Ac"] = {"flt ", floatBytes(1234.5f)};
    smc.keys["F1Mx"] = {"ui16", {0x17, 0x70}};

    EXPECT_EQ(smc_fan_count_with(FakeController::exchange, &smc), 2);
    ASSERT_EQ(smc.requests.size(), 2u);
    EXPECT_EQ(smc.requests[0].command, SMC_COMMAND_READ_INFO);
    EXPECT_EQ(smc.requests[1].command, SMC_COMMAND_READ_BYTES);
    EXPECT_EQ(smc.requests[1].data_size, 1u) << "the size from the info reply goes into the value request";
    EXPECT_EQ(smc.requests[1].data_type, smc_pack("ui8 "));

    EXPECT_FLOAT_EQ(smc_fan_value_with(FakeController::exchange, &smc, 0, "Ac"), 2000.0f);
    EXPECT_FLOAT_EQ(smc_fan_value_with(FakeController::exchange, &smc, 1, "Ac"), 1234.5f);
    EXPECT_EQ(smc_fan_value_with(FakeController::exchange, &smc, 1, "Mx"), -1.0f) << "neither fpe2 nor flt";
    EXPECT_EQ(smc_fan_value_with(FakeController::exchange, &smc, 7, "Ac"), -1.0f) << "missing key";

    smc_param_block reply;
    ASSERT_EQ(smc_read_with(FakeController::exchange, &smc, "F0Ac", &reply), 0);
    EXPECT_EQ(reply.data_type, smc_pack("fpe2")) << "the type of the info reply is written into the result";
}

TEST(SmcProtocol, FailingExchangesAndZeroFans) {
    FakeController smc;
    smc.keys["FNum"] = {"ui8 ", {0}};
    EXPECT_EQ(smc_fan_count_with(FakeController::exchange, &smc), 0);
    smc.requests.clear();
    smc.failAt = 1;  // the value request
    EXPECT_EQ(smc_fan_count_with(FakeController::exchange, &smc), -1);
    smc.requests.clear();
    smc.failAt = 0;  // the info request
    EXPECT_EQ(smc_fan_count_with(FakeController::exchange, &smc), -1);
    EXPECT_EQ(smc.requests.size(), 1u) << "no value request after a failed info request";
}

TEST(GpuRegistry, CreatorTextNamesThePid) {
    EXPECT_EQ(gpu_creator_pid("pid 812, WindowServer"), 812);
    EXPECT_EQ(gpu_creator_pid("pid 1"), 1);
    EXPECT_EQ(gpu_creator_pid("process 812"), -1);
    EXPECT_EQ(gpu_creator_pid(""), -1);
    EXPECT_EQ(gpu_creator_pid(nullptr), -1);
}

TEST(RouteMessages, InterfaceCountersWithLoopbackFlag) {
    std::vector<uint8_t> buf;
    for (const auto& m : {message(18, 6, 1000, 2000), message(14, 6, 99, 99), message(18, 24, 500, 500, 112),
                          message(18, 71, 30, 40, 200)})
        buf.insert(buf.end(), m.begin(), m.end());
    std::vector<platform::InterfaceBytes> out;
    platform::decodeInterfaceList(buf.data(), buf.size(), out);
    ASSERT_EQ(out.size(), 3u) << "only interface-information messages";
    EXPECT_EQ(out[0].received, 1000u);
    EXPECT_EQ(out[0].sent, 2000u);
    EXPECT_FALSE(out[0].loopback);
    EXPECT_TRUE(out[1].loopback);
    EXPECT_EQ(out[2].sent, 40u);
}

TEST(RouteMessages, TruncatedAndCorruptBuffersStopSafely) {
    std::vector<uint8_t> buf = message(18, 6, 1, 2);
    const auto trailing = message(18, 6, 100, 100);
    buf.insert(buf.end(), trailing.begin(), trailing.begin() + 111);  // fewer than 112 bytes left
    std::vector<platform::InterfaceBytes> out;
    platform::decodeInterfaceList(buf.data(), buf.size(), out);
    EXPECT_EQ(out.size(), 1u) << "the trailing bytes are ignored";

    auto zero = message(18, 6, 1, 2);
    zero[0] = zero[1] = 0;  // a zero length would loop forever
    platform::decodeInterfaceList(zero.data(), zero.size(), out);
    EXPECT_TRUE(out.empty());

    // A length that runs past the end: the next offset is beyond the buffer.
    auto longer = message(18, 6, 1, 2, 120);
    const uint16_t huge = 60000;
    std::memcpy(longer.data(), &huge, 2);
    platform::decodeInterfaceList(longer.data(), longer.size(), out);
    EXPECT_EQ(out.size(), 1u);
}

namespace {

// A kernel table that grows by `growth` bytes right after each size question, `grows` times.
struct GrowingTable {
    std::vector<uint8_t> table = std::vector<uint8_t>(300, 7);
    int grows = 0;
    size_t growth = 160;
    int sizeError = 0;
    int readError = 0;
    int sizeCalls = 0;
    int reads = 0;

    int call(void* buffer, size_t* size) {
        if (!buffer) {
            ++sizeCalls;
            if (sizeError) return sizeError;
            *size = table.size();
            if (grows > 0) {
                --grows;
                table.resize(table.size() + growth, 9);
            }
            return 0;
        }
        ++reads;
        if (readError) return readError;
        if (*size < table.size()) return ENOMEM;
        std::memcpy(buffer, table.data(), table.size());
        *size = table.size();
        return 0;
    }
};

}  // namespace

TEST(RouteMessages, AGrowingInterfaceListIsReadAgain) {
    struct Case {
        const char* what;
        int grows;
        int sizeError;
        int readError;
        bool ok;
        int sizeCalls;
        size_t length;
    };
    const Case cases[] = {
        {"steady", 0, 0, 0, true, 1, 300},
        {"one interface added meanwhile", 1, 0, 0, true, 2, 460},
        {"added before every read", platform::kTableReadTries, 0, 0, false, platform::kTableReadTries, 0},
        {"added before all but the last read", platform::kTableReadTries - 1, 0, 0, true,
         platform::kTableReadTries, 300 + 160 * (platform::kTableReadTries - 1)},
        {"size refused", 0, EPERM, 0, false, 1, 0},
        {"read fails otherwise: no retry", 0, 0, EIO, false, 1, 0},
    };
    for (const Case& c : cases) {
        GrowingTable t;
        t.grows = c.grows;
        t.sizeError = c.sizeError;
        t.readError = c.readError;
        std::vector<uint8_t> buffer;
        size_t length = 0;
        const bool ok =
            platform::readGrowingTable([&](void* b, size_t* s) { return t.call(b, s); }, buffer, length);
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(t.sizeCalls, c.sizeCalls) << c.what;
        if (ok) {
            EXPECT_EQ(length, c.length) << c.what;
            EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length), t.table) << c.what;
        }
    }

    GrowingTable empty;
    empty.table.clear();
    std::vector<uint8_t> buffer;
    size_t length = 0;
    EXPECT_FALSE(
        platform::readGrowingTable([&](void* b, size_t* s) { return empty.call(b, s); }, buffer, length));
    EXPECT_EQ(empty.reads, 0) << "an empty table is not read";
}
