#include "ui/common/kill_confirm.h"

#include <QMessageBox>
#include <QPushButton>

namespace velmora {

bool confirmKill(const KillRequest& request, QWidget* parent) {
    QMessageBox box(parent);
    box.setIcon(request.advice.severity == KillSeverity::danger    ? QMessageBox::Critical
                : request.advice.severity == KillSeverity::caution ? QMessageBox::Warning
                                                                    : QMessageBox::Question);
    box.setTextFormat(Qt::PlainText);  // process names may hold anything
    box.setText(request.advice.title);
    box.setInformativeText(request.advice.message);
    QPushButton* yes = box.addButton(KillFlow::confirmLabel(request.force), QMessageBox::DestructiveRole);
    box.addButton(KillFlow::cancelLabel(), QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == yes;
}

}  // namespace velmora
