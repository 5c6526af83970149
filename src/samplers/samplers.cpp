#include "samplers/samplers.h"

#include "core/settings.h"

namespace velmora {

Samplers::Samplers(ProcessSampler::SwitchesFn processSwitches)
    : Samplers(std::move(processSwitches), platform::makeSensorSources()) {}

Samplers::Samplers(ProcessSampler::SwitchesFn processSwitches, platform::SensorSources sensors)
    : fan(std::move(sensors.fans)),
      thermal(std::move(sensors.temperatures), platform::powerFilePath()),
      proc(std::move(processSwitches)) {}

std::unique_ptr<Samplers> makeMachineSamplers(const AppSettings& settings) {
    return std::make_unique<Samplers>([&settings] {
        return ProcessSampler::Switches{settings.collectProcessGPU(), settings.showSystemProcesses()};
    });
}

Snapshot Samplers::tick(const std::function<bool()>& uiActive) {
    Snapshot s;
    s.time = WallClock::now();

    CpuSample c = cpu.sample();
    s.cpuTotal = c.total;
    s.cpuPerCore = std::move(c.perCore);

    const MemorySampler::Result m = memory.sample();
    s.memUsed = m.used;
    s.memTotal = m.total;
    s.memCompressed = m.compressed;
    s.swapUsed = m.swap;
    s.memPercent = m.percent;

    const DiskSampler::Capacity d = disk.capacity();
    s.diskUsed = d.used;
    s.diskTotal = d.total;
    s.diskPercent = d.percent;
    const DiskSampler::Rates io = disk.throughput();
    s.diskReadBps = io.read;
    s.diskWriteBps = io.write;
    s.diskReadBytes = io.readTotal;
    s.diskWrittenBytes = io.writeTotal;

    s.gpuPercent = gpu.sample();

    const NetworkSampler::Result n = network.sample();
    s.netInBps = n.inBps;
    s.netOutBps = n.outBps;
    s.netInBytes = n.inTotal;
    s.netOutBytes = n.outTotal;

    s.battery = battery.sample();
    s.fans = fan.sample();

    ThermalSampler::Result t = thermal.sample();
    s.thermalState = t.state;
    s.cpuTempC = t.cpuC;
    s.gpuTempC = t.gpuC;
    s.hottestC = t.hottestC;
    s.cpuPowerW = t.cpuW;
    s.gpuPowerW = t.gpuW;
    s.anePowerW = t.aneW;
    s.sensors = std::move(t.sensors);

    // Processes only while a view shows them or a background read is due; otherwise the
    // sampler keeps its last baseline, and once no read has come for a while it lets go of
    // the per-process files it keeps open for fast re-reading.
    if (uiActive()) {
        s.processes = proc.sample();
        s.processesMeasured = proc.lastSampleMeasured();
        lastProcessRead_ = steadyNow();
    } else if (!lastProcessRead_ || steadyNow() - *lastProcessRead_ > kKeepFilesFor) {
        proc.releaseKeptFiles();
        lastProcessRead_.reset();
    }
    return s;
}

}  // namespace velmora
