#include "ui/common/range_picker.h"

#include "core/localizer.h"

#include <QStandardItemModel>

namespace velmora {

namespace {

int indexOf(HistorySpan span) {
    for (int i = 0; i < static_cast<int>(std::size(kHistorySpans)); ++i)
        if (kHistorySpans[i] == span) return i;
    return 0;
}

}  // namespace

RangePicker::RangePicker(QWidget* parent) : QComboBox(parent) {
    for (HistorySpan span : kHistorySpans)
        addItem(QString(), static_cast<int>(span));
    retranslate();
    // The user's choice only, the same span again included (it reads up to now anew).
    connect(this, &QComboBox::activated, this, [this](int) { emit spanChosen(span()); });
    connect(&Localizer::shared(), &Localizer::languageChanged, this, &RangePicker::retranslate);
}

HistorySpan RangePicker::span() const {
    const int i = currentIndex();
    return i >= 0 && i < static_cast<int>(std::size(kHistorySpans)) ? kHistorySpans[i] : HistorySpan::live;
}

void RangePicker::setSpan(HistorySpan span) {
    if (span != HistorySpan::live && !available_) span = HistorySpan::live;
    setCurrentIndex(indexOf(span));
}

void RangePicker::setHistoryAvailable(bool available) {
    available_ = available;
    auto* items = qobject_cast<QStandardItemModel*>(model());
    for (int i = 0; i < count(); ++i) {
        if (kHistorySpans[i] == HistorySpan::live) continue;
        if (items)
            if (QStandardItem* item = items->item(i)) item->setEnabled(available);
    }
    retranslate();
    if (!available) setSpan(HistorySpan::live);
}

bool RangePicker::spanEnabled(HistorySpan span) const {
    const auto* items = qobject_cast<const QStandardItemModel*>(model());
    const QStandardItem* item = items ? items->item(indexOf(span)) : nullptr;
    return item && item->isEnabled();
}

QString RangePicker::spanToolTip(HistorySpan span) const {
    return itemData(indexOf(span), Qt::ToolTipRole).toString();
}

void RangePicker::retranslate() {
    const Localizer& loc = Localizer::shared();
    for (int i = 0; i < count(); ++i) {
        setItemText(i, loc.t(spanKey(kHistorySpans[i])));
        const bool off = kHistorySpans[i] != HistorySpan::live && !available_;
        setItemData(i, off ? loc.t(QStringLiteral(VL_KEY("hrSpanOff"))) : QVariant(), Qt::ToolTipRole);
    }
    setToolTip(loc.t(QStringLiteral(VL_KEY("hrSpanHelp"))));
    setAccessibleName(loc.t(QStringLiteral(VL_KEY("hrSpanName"))));
}

}  // namespace velmora
