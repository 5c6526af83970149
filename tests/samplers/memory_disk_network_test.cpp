#include "samplers/disk_sampler.h"
#include "samplers/memory_sampler.h"
#include "samplers/network_sampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

class FixedMemory : public platform::MemorySource {
  public:
    FixedMemory(uint64_t pageSize, uint64_t total) : pageSize_(pageSize), total_(total) {}
    uint64_t pageSize() const override { return pageSize_; }
    uint64_t totalBytes() const override { return total_; }
    bool read(platform::MemoryPages& out) override {
        if (!ok) return false;
        out = pages;
        return true;
    }
    platform::MemoryPages pages;
    bool ok = true;

  private:
    uint64_t pageSize_, total_;
};

class ScriptedDisk : public platform::DiskSource {
  public:
    bool volume(platform::VolumeBlocks& out) override {
        out = blocks;
        return volumeOk;
    }
    bool totals(platform::DiskTotals& out) override {
        out = totalsValue;
        return totalsOk;
    }
    platform::VolumeBlocks blocks;
    bool volumeOk = true;
    platform::DiskTotals totalsValue;
    bool totalsOk = true;
};

const SteadyClock::time_point t0 = SteadyClock::time_point(100s);

}  // namespace

TEST(MemorySampler, PagesBecomeBytesAndShare) {
    auto src = std::make_unique<FixedMemory>(16384, 8ull << 30);
    // 100 000 active + 50 000 wired pages, 20 000 compressor pages, 1 GiB of swap in use.
    src->pages = {150000, 20000, 1ull << 30};
    MemorySampler memory(std::move(src));
    const auto r = memory.sample();
    EXPECT_EQ(r.used, 2785280000u);
    EXPECT_EQ(r.compressed, 327680000u);
    EXPECT_EQ(r.swap, 1ull << 30);
    EXPECT_EQ(r.total, 8ull << 30);
    EXPECT_DOUBLE_EQ(r.percent, 2785280000.0 / static_cast<double>(8ull << 30) * 100.0);
}

TEST(MemorySampler, FailuresKeepTotalAndNeverDivideByZero) {
    auto failing = std::make_unique<FixedMemory>(4096, 1000000);
    failing->ok = false;
    const auto r = MemorySampler(std::move(failing)).sample();
    EXPECT_EQ(r.used, 0u);
    EXPECT_EQ(r.total, 1000000u) << "the total is still reported when the statistics fail";
    EXPECT_EQ(r.percent, 0);

    auto noTotal = std::make_unique<FixedMemory>(4096, 0);
    noTotal->pages = {100, 0, 0};
    const auto z = MemorySampler(std::move(noTotal)).sample();
    EXPECT_EQ(z.used, 409600u);
    EXPECT_EQ(z.percent, 0) << "a zero total gives 0 %, not a division error";

    auto noPage = std::make_unique<FixedMemory>(0, 1000000);
    noPage->pages = {100, 10, 5};
    const auto p = MemorySampler(std::move(noPage)).sample();
    EXPECT_EQ(p.used, 0u);
    EXPECT_EQ(p.compressed, 0u);
    EXPECT_EQ(p.percent, 0);
}

TEST(DiskSampler, CapacityFromBlocks) {
    const platform::VolumeBlocks half{4096, 1000, 250};
    const auto c = DiskSampler::capacityOf(&half);
    EXPECT_EQ(c.total, 4096000u);
    EXPECT_EQ(c.used, 3072000u);
    EXPECT_DOUBLE_EQ(c.percent, 75.0);

    const platform::VolumeBlocks overfull{4096, 1000, 1200};  // more available than total
    const auto o = DiskSampler::capacityOf(&overfull);
    EXPECT_EQ(o.used, 0u);
    EXPECT_EQ(o.percent, 0);
    EXPECT_EQ(o.total, 4096000u) << "the total is still reported";

    const platform::VolumeBlocks empty{4096, 0, 0};
    const auto e = DiskSampler::capacityOf(&empty);
    EXPECT_EQ(e.total, 0u);
    EXPECT_EQ(e.percent, 0);
    EXPECT_EQ(DiskSampler::capacityOf(nullptr).total, 0u);
}

TEST(DiskSampler, RatesOverTheIntervalAfterAPrimingCall) {
    DiskSampler disk(nullptr);
    platform::DiskTotals a{1000000, 500000};
    const auto first = disk.update(&a, t0);
    EXPECT_EQ(first.read, 0) << "the first call only primes";
    EXPECT_EQ(first.write, 0);

    platform::DiskTotals b{1000000 + 10000000, 500000 + 3000000};
    const auto r = disk.update(&b, t0 + 2s);
    EXPECT_DOUBLE_EQ(r.read, 5000000.0) << "10 MB over 2 s";
    EXPECT_DOUBLE_EQ(r.write, 1500000.0);
}

TEST(DiskSampler, SameInstantFallingTotalsAndFailedListing) {
    DiskSampler disk(nullptr);
    platform::DiskTotals a{1000, 1000};
    disk.update(&a, t0);
    platform::DiskTotals b{5000, 5000};
    const auto same = disk.update(&b, t0);
    EXPECT_EQ(same.read, 0) << "dt = 0 gives 0";
    // ...and the state moved on: the next second measures from 5000.
    platform::DiskTotals c{6000, 4000};
    const auto r = disk.update(&c, t0 + 1s);
    EXPECT_DOUBLE_EQ(r.read, 1000.0);
    EXPECT_EQ(r.write, 0) << "a total that fell (a disk went away) reports 0";
    platform::DiskTotals d{7000, 4500};
    EXPECT_DOUBLE_EQ(disk.update(&d, t0 + 2s).write, 500.0) << "the lower total became the base";

    // A listing failure leaves the stored counters alone.
    EXPECT_EQ(disk.update(nullptr, t0 + 3s).read, 0);
    platform::DiskTotals e{9000, 4500};
    EXPECT_DOUBLE_EQ(disk.update(&e, t0 + 4s).read, 1000.0)
        << "2000 bytes over the 2 s since the last good read";
}

TEST(DiskSampler, TotalsOnlyRiseWhateverTheKernelTotalsDo) {
    // Each step: the kernel's totals (absent: the listing failed), then the counted bytes.
    struct Step {
        std::optional<platform::DiskTotals> totals;
        uint64_t read, written;
    };
    const Step steps[] = {
        {platform::DiskTotals{5000, 7000}, 0, 0},  // priming: what came before is not counted
        {platform::DiskTotals{6000, 7500}, 1000, 500},
        {std::nullopt, 1000, 500},  // a failed listing keeps the count
        {platform::DiskTotals{6500, 7600}, 1500, 600},
        {platform::DiskTotals{100, 200}, 1500, 600},  // a disk went away: nothing taken back
        {platform::DiskTotals{400, 260}, 1800, 660},  // counted on from the lower totals
    };
    DiskSampler disk(nullptr);
    int i = 0;
    for (const Step& step : steps) {
        const auto r = disk.update(step.totals ? &*step.totals : nullptr, t0 + std::chrono::seconds(i++));
        EXPECT_EQ(r.readTotal, step.read) << "step " << i;
        EXPECT_EQ(r.writeTotal, step.written) << "step " << i;
    }
}

TEST(DiskSampler, ThroughSourceFailures) {
    auto src = std::make_unique<ScriptedDisk>();
    ScriptedDisk* s = src.get();
    DiskSampler disk(std::move(src));
    s->volumeOk = false;
    EXPECT_EQ(disk.capacity().total, 0u);
    s->totalsOk = false;
    EXPECT_EQ(disk.throughput().read, 0);
}

TEST(NetworkSampler, LoopbackIsNotCountedWhateverItsName) {
    std::vector<platform::InterfaceBytes> ifs = {{100, 200, true}, {1000, 2000, false}, {5, 7, false}};
    const auto c = NetworkSampler::sum(ifs);
    EXPECT_EQ(c.in, 1005u);
    EXPECT_EQ(c.out, 2007u);

    NetworkSampler net(nullptr);
    std::vector<platform::InterfaceBytes> onlyLoop = {{100, 100, true}};
    net.update(NetworkSampler::sum(onlyLoop), t0);
    onlyLoop[0] = {900000, 900000, true};
    const auto r = net.update(NetworkSampler::sum(onlyLoop), t0 + 1s);
    EXPECT_EQ(r.inBps, 0);
    EXPECT_EQ(r.outBps, 0);
}

TEST(NetworkSampler, ResetCounterGivesZeroOnceThenRecovers) {
    NetworkSampler net(nullptr);
    EXPECT_EQ(net.update({1000, 1000}, t0).inBps, 0);
    const auto r = net.update({3000, 1500}, t0 + 2s);
    EXPECT_DOUBLE_EQ(r.inBps, 1000.0);
    EXPECT_DOUBLE_EQ(r.outBps, 250.0);
    // An interface that left makes the total fall: 0 once, then normal rates.
    EXPECT_EQ(net.update({500, 500}, t0 + 3s).inBps, 0);
    EXPECT_EQ(net.update({600, 600}, t0 + 4s).inBps, 100.0) << "normal rates resume";
    EXPECT_EQ(net.update({700, 700}, t0 + 4s).inBps, 0) << "dt = 0";
}

TEST(NetworkSampler, TotalsOnlyRiseWhateverTheInterfaceSumDoes) {
    struct Step {
        NetworkSampler::Counters sum;
        uint64_t in, out;
    };
    const Step steps[] = {
        {{1'000'000, 2'000'000}, 0, 0},  // priming
        {{1'000'400, 2'000'100}, 400, 100},
        {{1'000'400, 2'000'100}, 400, 100},  // no traffic
        {{300, 50}, 400, 100},               // an interface left the sum
        {{350, 80}, 450, 130},
    };
    NetworkSampler net(nullptr);
    int i = 0;
    for (const Step& step : steps) {
        const auto r = net.update(step.sum, t0 + std::chrono::seconds(i++));
        EXPECT_EQ(r.inTotal, step.in) << "step " << i;
        EXPECT_EQ(r.outTotal, step.out) << "step " << i;
    }
}

TEST(NetworkSampler, AFailedReadKeepsTheLastGoodReadingAsBase) {
    // Counters since boot are large; a zero base after a failure would report all of them.
    struct Scripted : platform::NetworkSource {
        std::vector<std::optional<uint64_t>> script;
        size_t next = 0;
        bool read(std::vector<platform::InterfaceBytes>& out) override {
            const auto v = script.at(std::min(next++, script.size() - 1));
            if (!v) return false;
            out = {{*v, *v, false}};
            return true;
        }
    };
    auto source = std::make_unique<Scripted>();
    const uint64_t boot = 500'000'000'000;
    source->script = {boot, boot + 1000, std::nullopt, boot + 2000};
    NetworkSampler net(std::move(source));
    const SteadyClock::time_point t0{};
    net.sample(t0);
    EXPECT_DOUBLE_EQ(net.sample(t0 + 1s).inBps, 1000.0);
    const auto failed = net.sample(t0 + 2s);
    EXPECT_EQ(failed.inBps, 0);
    EXPECT_EQ(failed.outBps, 0);
    EXPECT_DOUBLE_EQ(net.sample(t0 + 3s).inBps, 500.0)
        << "the 1000 bytes since the last good reading, over both intervals";
}
