#pragma once

#include "engine/process_demand.h"

#include <QObject>

#include <optional>

class QWidget;

namespace velmora {

// Holds a process-demand token for as long as `window` is visible: taken when it shows,
// given back when it hides (closing, minimising and hiding all count). Lives as a child of
// the window, so it goes with it.
class VisibleDemand : public QObject {
    Q_OBJECT
  public:
    VisibleDemand(QWidget* window, ProcessDemand& demand);
    bool holding() const { return token_.has_value(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    ProcessDemand& demand_;
    std::optional<ProcessDemand::Token> token_;
};

}  // namespace velmora
