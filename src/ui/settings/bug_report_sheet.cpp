#include "ui/settings/bug_report_sheet.h"

#include "core/localizer.h"
#include "maintenance/bug_reporter.h"
#include "ui/common/accessibility.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

void setSecondary(QLabel* label) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, SystemColor::secondary(pal));
    label->setPalette(pal);
}

}  // namespace

BugReportSheet::BugReportSheet(BugReporter& reporter, Localizer& loc, QWidget* parent)
    : QDialog(parent), reporter_(reporter), loc_(loc) {
    Accessibility::useLocalizer(this, loc_);
    setObjectName(QStringLiteral("bugReportSheet"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(kWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 16, 16, 16);
    column->setSpacing(10);

    heading_ = new QLabel(this);
    heading_->setFont(ViewFonts::headline(font()));
    prompt_ = new QLabel(this);
    prompt_->setWordWrap(true);
    setSecondary(prompt_);
    editor_ = new QPlainTextEdit(this);
    editor_->setObjectName(QStringLiteral("bugText"));
    editor_->setFixedHeight(kEditorHeight);
    editor_->setTabChangesFocus(true);  // Tab goes on to the buttons; the text needs none
    editor_->setFrameShape(QFrame::NoFrame);
    editor_->setStyleSheet(QStringLiteral(
        "QPlainTextEdit#bugText { border: 1px solid palette(mid); border-radius: 5px; padding: 2px; }"));
    result_ = new QLabel(this);
    result_->setWordWrap(true);
    // The saved file's path can be copied from here.
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSecondary(result_);
    result_->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    close_ = new QPushButton(this);
    close_->setAutoDefault(false);
    send_ = new QPushButton(this);
    send_->setDefault(true);
    buttons->addWidget(close_);
    buttons->addWidget(send_);

    column->addWidget(heading_);
    column->addWidget(prompt_);
    column->addWidget(editor_);
    column->addWidget(result_);
    column->addLayout(buttons);

    connect(close_, &QPushButton::clicked, this, &QDialog::hide);
    connect(send_, &QPushButton::clicked, this, &BugReportSheet::send);
    connect(editor_, &QPlainTextEdit::textChanged, this, &BugReportSheet::refreshState);
    connect(&loc_, &Localizer::languageChanged, this, &BugReportSheet::retranslate);
    retranslate();
}

void BugReportSheet::send() {
    const QString text = editor_->toPlainText();
    if (sending_ || text.trimmed().isEmpty()) return;
    sending_ = true;
    refreshState();
    reporter_.submit(text, this, [this](const BugReporter::Outcome& outcome) {
        sending_ = false;
        // "Saved" is said only of a copy that exists, and names it.
        savedPath_ = outcome.savedPath;
        cut_ = outcome.cut;
        if (outcome.sent)
            resultKey_ = QString::fromLatin1(outcome.saved() ? VL_KEY("bugSentAt") : VL_KEY("bugSent"));
        else
            resultKey_ = QString::fromLatin1(outcome.saved() ? VL_KEY("bugSavedAt") : VL_KEY("bugNotSaved"));
        // A description that was cut stays in the editor: what did not fit is not lost.
        if (outcome.sent && !outcome.cut) editor_->clear();
        retranslate();
    });
}

void BugReportSheet::retranslate() {
    setWindowTitle(loc_.t("bugTitle"));
    heading_->setText(loc_.t("bugTitle"));
    prompt_->setText(loc_.t("bugPrompt"));
    close_->setText(loc_.t("anClose"));
    editor_->setAccessibleName(loc_.t("a11yReportText"));
    if (!resultKey_.isEmpty()) {
        QString text = savedPath_.isEmpty() ? loc_.t(resultKey_) : loc_.t(resultKey_, savedPath_);
        if (cut_) text += QLatin1Char('\n') + loc_.t("bugCut", BugReporter::kMaxBodyBytes / 1024);
        result_->setText(text);
    }
    refreshState();
}

void BugReportSheet::refreshState() {
    send_->setText(sending_ ? loc_.t("bugSending") : loc_.t("bugSend"));
    send_->setEnabled(!sending_ && !editor_->toPlainText().trimmed().isEmpty());
    result_->setVisible(!resultKey_.isEmpty());
}

void BugReportSheet::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        setSecondary(prompt_);
        setSecondary(result_);
    }
}

}  // namespace velmora
