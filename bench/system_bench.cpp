// Cost of one system tick without the process list: every sampler from memory to
// temperatures and power, on the live machine and on fixture trees of real machine types.
#include "samplers/samplers.h"

#ifdef __linux__
#include "platform/linux/disk_linux.h"
#include "platform/linux/gpu_linux.h"
#include "platform/linux/hwmon.h"
#include "platform/linux/hwmon_temperatures.h"
#include "platform/linux/memory_linux.h"
#include "platform/linux/network_linux.h"
#include "platform/linux/power_supply.h"
#endif

#include "allocation_counter.h"

#include <benchmark/benchmark.h>

using namespace velmora;

// The engine's tick as it runs with no process view open, on this machine.
static void BM_SystemTickLive(benchmark::State& state) {
    Samplers samplers({});
    const auto uiActive = [] { return false; };
    samplers.tick(uiActive);
    const uint64_t before = allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(samplers.tick(uiActive));
    state.counters["allocs/tick"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SystemTickLive)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

#ifdef __linux__
using namespace velmora::platform;

namespace {

// The samplers of one tick over a fixture machine, all but the CPU sampler. Fans and
// temperatures share one listing of the hwmon chips, as on the live machine.
struct FixtureSamplers {
    explicit FixtureSamplers(const std::string& name)
        : proc(std::string(VELMORA_FIXTURE_DIR) + "/machines/" + name + "/proc"),
          sys(std::string(VELMORA_FIXTURE_DIR) + "/machines/" + name + "/sys"),
          chips(std::make_shared<HwmonChips>(sys)),
          memory(std::make_unique<LinuxMemorySource>(proc, sys)),
          disk(std::make_unique<LinuxDiskSource>(proc, sys)),
          gpu(std::make_unique<LinuxGpuSource>(proc, sys, false)),
          network(std::make_unique<LinuxNetworkSource>(proc, sys)),
          battery(std::make_unique<PowerSupplyBatterySource>(sys)),
          fan(std::make_unique<HwmonFanSource>(chips)),
          thermal(std::make_unique<HwmonTemperatureSource>(chips, false), "/nonexistent/power.json") {}

    Snapshot tick() {
        Snapshot s;
        const auto m = memory.sample();
        s.memUsed = m.used;
        const auto c = disk.capacity();
        s.diskUsed = c.used;
        s.diskReadBps = disk.throughput().read;
        s.gpuPercent = gpu.sample();
        s.netInBps = network.sample().inBps;
        s.battery = battery.sample();
        s.fans = fan.sample();
        s.cpuTempC = thermal.sample().cpuC;
        return s;
    }

    std::string proc, sys;
    std::shared_ptr<HwmonChips> chips;
    MemorySampler memory;
    DiskSampler disk;
    GPUSampler gpu;
    NetworkSampler network;
    BatterySampler battery;
    FanSampler fan;
    ThermalSampler thermal;
};

}  // namespace

static void BM_SystemTickFixture(benchmark::State& state, const char* machine) {
    FixtureSamplers samplers(machine);
    samplers.tick();
    const uint64_t before = allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(samplers.tick());
    state.counters["allocs/tick"] =
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK_CAPTURE(BM_SystemTickFixture, laptop, "laptop")
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_SystemTickFixture, amd_desktop, "amd_desktop")
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_SystemTickFixture, arm_board, "arm_board")
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime();
BENCHMARK_CAPTURE(BM_SystemTickFixture, vm, "vm")->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();
#endif
