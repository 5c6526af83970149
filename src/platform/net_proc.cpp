#include "platform/net_proc.h"

#include <QList>

#include <algorithm>
#include <map>
#include <tuple>

namespace velmora::platform {

bool Interrupt::Token::sleepFor(std::chrono::milliseconds duration) const {
    std::unique_lock lock(owner_->lock_);
    return !owner_->wake_.wait_for(lock, duration, [this] { return stopped(); });
}

void Interrupt::interrupt() {
    {
        // Under the lock, so a sleeper between its check and its wait cannot miss it.
        std::lock_guard lock(lock_);
        generation_.fetch_add(1);
    }
    wake_.notify_all();
}

namespace {

// A decimal count with an optional leading "+"; nothing else.
std::optional<uint64_t> parseCount(QStringView s) {
    if (s.startsWith(u'+')) s = s.mid(1);
    if (s.isEmpty()) return std::nullopt;
    uint64_t v = 0;
    for (QChar c : s) {
        if (c < u'0' || c > u'9') return std::nullopt;
        const uint64_t digit = c.unicode() - u'0';
        if (v > (UINT64_MAX - digit) / 10) return std::nullopt;
        v = v * 10 + digit;
    }
    return v;
}

void splitFields(QStringView line, QList<QStringView>& out) {
    out.clear();
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == u' ' || line[i] == u'\t'))
            ++i;
        const qsizetype start = i;
        while (i < line.size() && line[i] != u' ' && line[i] != u'\t')
            ++i;
        if (i > start) out.append(line.mid(start, i - start));
    }
}

}  // namespace

std::vector<ProcNet> parseNetTop(const QString& text) {
    using Sample = std::map<int32_t, std::tuple<QString, uint64_t, uint64_t>>;
    std::vector<Sample> blocks;
    Sample current;
    QList<QStringView> pieces;
    for (QStringView line : QStringView(text).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.contains(u"bytes_in")) {
            if (!current.empty()) blocks.push_back(std::move(current));
            current.clear();
            continue;
        }
        splitFields(line, pieces);
        if (pieces.size() < 3) continue;
        const auto sent = parseCount(pieces[pieces.size() - 1]);
        const auto received = parseCount(pieces[pieces.size() - 2]);
        if (!sent || !received) continue;
        QString label;
        for (qsizetype i = 0; i + 2 < pieces.size(); ++i) {
            if (i > 0) label += u' ';
            label += pieces[i];
        }
        const qsizetype dot = label.lastIndexOf(u'.');
        if (dot < 0) continue;
        bool ok = false;
        const int32_t pid = QStringView(label).mid(dot + 1).toInt(&ok);
        if (!ok) continue;
        current[pid] = std::make_tuple(label.left(dot), *received, *sent);
    }
    if (!current.empty()) blocks.push_back(std::move(current));

    std::vector<ProcNet> out;
    if (blocks.size() < 2) return out;
    const Sample& first = blocks.front();
    for (const auto& [pid, last] : blocks.back()) {
        const auto before = first.find(pid);
        if (before == first.end()) continue;
        const auto& [name, in1, out1] = last;
        const auto& [oldName, in0, out0] = before->second;
        // The two samples are a second apart, so the difference is the per-second rate.
        const uint64_t in = in1 >= in0 ? in1 - in0 : 0;
        const uint64_t sent = out1 >= out0 ? out1 - out0 : 0;
        if (in == 0 && sent == 0) continue;
        out.push_back({pid, name, static_cast<double>(in), static_cast<double>(sent)});
    }
    std::stable_sort(out.begin(), out.end(), [](const ProcNet& a, const ProcNet& b) {
        return a.inBps + a.outBps > b.inBps + b.outBps;
    });
    return out;
}

}  // namespace velmora::platform
