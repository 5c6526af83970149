#pragma once

#include "platform/cpu.h"

#include <QHashFunctions>
#include <QString>

#include <memory>
#include <vector>

namespace velmora {

struct CpuSample {
    double total = 0;
    std::vector<double> perCore;
};

// Turns cumulative per-core tick counters into busy percentages.
class CPUSampler {
  public:
    CPUSampler();
    explicit CPUSampler(std::unique_ptr<platform::CpuTickSource> source);

    CpuSample sample();
    // The logic of one call, given this tick's reading (nullptr when the read failed).
    CpuSample update(const std::vector<platform::CpuCoreTicks>* current);

  private:
    std::unique_ptr<platform::CpuTickSource> source_;
    std::vector<platform::CpuCoreTicks> prevTicks_;
    std::vector<platform::CpuCoreTicks> scratch_;
    uint64_t layoutGeneration_ = 0;
};

struct CoreKind {
    enum class Type { performance, efficiency, other };
    Type type = Type::other;
    QString name;  // only for `other`: the name the system gave the cluster

    static CoreKind performance() { return {Type::performance, {}}; }
    static CoreKind efficiency() { return {Type::efficiency, {}}; }
    static CoreKind other(const QString& name) { return {Type::other, name}; }
    // The kind given to every core when the system names no kinds. Its stored name is fixed;
    // windows show a translated word for it instead.
    static CoreKind unnamed() { return other(QStringLiteral("코어")); }
    bool isUnnamed() const { return type == Type::other && (name.isEmpty() || name == unnamed().name); }
    bool operator==(const CoreKind& o) const {
        return type == o.type && (type != Type::other || name == o.name);
    }
};

// Hashes what equality compares, so a stray name on a performance kind cannot split a key.
inline size_t qHash(const CoreKind& kind, size_t seed = 0) noexcept {
    return kind.type == CoreKind::Type::other ? qHashMulti(seed, static_cast<int>(kind.type), kind.name)
                                              : qHashMulti(seed, static_cast<int>(kind.type));
}

struct CoreGroup {
    CoreKind kind;
    std::vector<int> indices;
};

// Which logical cores are performance and which efficiency cores, computed once per run.
struct CoreTopology {
    std::vector<CoreKind> kinds;
    std::vector<CoreGroup> groups;

    static const CoreTopology& shared();
    // One kind per core of each cluster; without clusters, every logical core (one when the
    // count is unknown) is an `other` core of one group.
    static CoreTopology build(const platform::CoreLayout& layout);
};

}  // namespace velmora
