#include "maintenance/service_rules.h"

#include <QStringList>

#include <algorithm>

namespace velmora {

namespace {

// A plain base-10 integer: an optional minus sign and digits only, within 32 bits.
std::optional<int32_t> plainInteger(QStringView field) {
    const QStringView digits = field.startsWith(u'-') ? field.mid(1) : field;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
        return std::nullopt;
    bool ok = false;
    const int v = field.toInt(&ok, 10);
    if (!ok) return std::nullopt;
    return v;
}

}  // namespace

void sortServices(std::vector<ServiceItem>& items) {
    // QString's own comparison works on UTF-16 code units, which puts characters beyond the
    // basic plane before U+E000..U+FFFF; the labels are compared as code points instead.
    std::vector<std::pair<QList<uint>, ServiceItem>> keyed;
    keyed.reserve(items.size());
    for (ServiceItem& item : items)
        keyed.emplace_back(item.label.toUcs4(), std::move(item));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.second.pid.has_value() != b.second.pid.has_value()) return a.second.pid.has_value();
        return a.first < b.first;
    });
    for (size_t i = 0; i < items.size(); ++i)
        items[i] = std::move(keyed[i].second);
}

bool isOwnService(const QString& label) {
    return label.contains(QLatin1String("com.tandrel.pelto.monitor")) ||
           label.contains(QLatin1String("com.tandrel.velmora")) || label.contains(QLatin1String("velmora"));
}

bool isProtected(const ServiceItem& item, bool aggressiveStop) {
    return isOwnService(item.label) || (!aggressiveStop && item.system);
}

std::vector<ServiceItem> parseLaunchctlList(const QString& output) {
    const QStringList lines = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::vector<ServiceItem> items;
    for (qsizetype i = 1; i < lines.size(); ++i) {  // the first line is the column header
        const QStringList fields = lines[i].split(QLatin1Char('\t'));
        if (fields.size() < 3) continue;
        ServiceItem item;
        item.pid = plainInteger(fields[0]);
        item.lastStatus = plainInteger(fields[1]).value_or(0);
        item.label = fields.mid(2).join(QLatin1Char('\t'));
        item.system = item.label.contains(QLatin1String("com.apple."));
        items.push_back(std::move(item));
    }
    sortServices(items);
    return items;
}

}  // namespace velmora
