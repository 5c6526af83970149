#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velmora {

class BugReporter;
class Localizer;

// The problem-report sheet: the user's description, kept on disk by the reporter before it
// is sent. Closing only hides it; the text and the last outcome stay for the next opening.
class BugReportSheet : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kWidth = 400;
    static constexpr int kEditorHeight = 120;

    BugReportSheet(BugReporter& reporter, Localizer& loc, QWidget* parent = nullptr);

    QPlainTextEdit* editor() const { return editor_; }
    QLabel* result() const { return result_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* closeButton() const { return close_; }
    bool sending() const { return sending_; }
    // The key of the outcome shown, empty before the first report.
    const QString& resultKey() const { return resultKey_; }
    // The local copy of the last report; empty when it could not be written.
    const QString& savedPath() const { return savedPath_; }
    // The last report's description was cut to the reporter's limit.
    bool lastCut() const { return cut_; }

    // Keeps and sends the current text; does nothing while a report is on its way or when
    // the text is blank.
    void send();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    void refreshState();

    BugReporter& reporter_;
    Localizer& loc_;
    QLabel* heading_ = nullptr;
    QLabel* prompt_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* result_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* send_ = nullptr;
    bool sending_ = false;
    QString resultKey_;
    QString savedPath_;
    bool cut_ = false;
};

}  // namespace velmora
