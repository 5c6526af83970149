#pragma once

#include "ui/storage/storage_model.h"

#include <QListView>
#include <QPixmap>

#include <vector>

namespace velmora {

class Localizer;

// The services section's rows, painted on demand: a list of hundreds of services costs no
// widgets, and a search that narrows it lays out only what is visible.
class ServiceList : public QListView {
    Q_OBJECT
  public:
    ServiceList(const Localizer& loc, QWidget* parent = nullptr);
    ~ServiceList() override;

    void setRows(std::vector<ServiceRowView> rows);
    const std::vector<ServiceRowView>& rows() const { return rows_; }
    // Where row `row`'s Stop or Start button (or lock) is drawn, in viewport coordinates;
    // empty when the row is not on screen.
    QRect controlRect(size_t row) const;

  signals:
    // A click on the Stop or Start button of a row.
    void act(size_t row, ServiceRowView::Control control);

  private:
    class Model;
    class Delegate;
    friend class Delegate;

    const Localizer& loc_;
    std::vector<ServiceRowView> rows_;
    Model* model_;
    Delegate* delegate_;
};

}  // namespace velmora
