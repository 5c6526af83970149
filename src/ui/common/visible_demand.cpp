#include "ui/common/visible_demand.h"

#include <QEvent>
#include <QWidget>

namespace velmora {

VisibleDemand::VisibleDemand(QWidget* window, ProcessDemand& demand) : QObject(window), demand_(demand) {
    window->installEventFilter(this);
    if (window->isVisible()) token_.emplace(demand_.acquire());
}

bool VisibleDemand::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Show:
            if (!token_) token_.emplace(demand_.acquire());
            break;
        case QEvent::Hide:
            token_.reset();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmora
