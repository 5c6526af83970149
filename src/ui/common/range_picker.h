#pragma once

#include "ui/common/stored_range.h"

#include <QComboBox>

namespace velmora {

// The span a window shows: live, or a stretch of the remembered record. Without a record
// (remembering is off) only live can be chosen; the other entries say why.
class RangePicker : public QComboBox {
    Q_OBJECT
  public:
    explicit RangePicker(QWidget* parent = nullptr);

    HistorySpan span() const;
    void setSpan(HistorySpan span);
    void setHistoryAvailable(bool available);
    bool historyAvailable() const { return available_; }
    // Whether the entry of `span` can be chosen, and its tooltip.
    bool spanEnabled(HistorySpan span) const;
    QString spanToolTip(HistorySpan span) const;

  signals:
    // The user chose a span (not setSpan).
    void spanChosen(velmora::HistorySpan span);

  private:
    void retranslate();

    bool available_ = true;
};

}  // namespace velmora
