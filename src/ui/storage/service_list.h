#pragma once

#include "ui/storage/storage_model.h"

#include <QListView>
#include <QPixmap>

#include <vector>

namespace velmora {

class Localizer;

// The services section's rows, painted on demand: a list of hundreds of services costs no
// widgets, and a search that narrows it lays out only what is visible. The keyboard reaches
// the Stop and Start buttons as if they were widgets: Tab and Backtab move the focus from one
// row's button to the next (locked rows are passed over) and on out of the list at its ends,
// the arrows move through every row, and Space or Return presses the focused row's button.
// Each row tells assistive tools its button and state.
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
    // The row whose button has the keyboard focus while the list has it; -1 for none.
    int focusedRow() const;

  protected:
    void focusInEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;

  signals:
    // A click on the Stop or Start button of a row.
    void act(size_t row, ServiceRowView::Control control);

  private:
    class Model;
    // The next row with a button after (or before) `from`, -1 when there is none.
    int actionableRow(int from, bool forward) const;
    void focusRow(int row);

    class Delegate;
    friend class Delegate;

    const Localizer& loc_;
    std::vector<ServiceRowView> rows_;
    Model* model_;
    Delegate* delegate_;
};

}  // namespace velmora
