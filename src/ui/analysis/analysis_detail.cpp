#include "ui/analysis/analysis_detail.h"

#include "core/localizer.h"
#include "inspect/process_info_lookup.h"
#include "ui/common/view_fonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

AnalysisDetailPane::AnalysisDetailPane(const MetricsFeed& feed, Localizer& loc, AnalysisKind kind,
                                       Services services, QWidget* parent)
    : QWidget(parent), feed_(feed), loc_(loc), kind_(kind), services_(std::move(services)) {
    if (!services_.inspector) services_.inspector = std::make_unique<ProcInspector>();
    if (!services_.actions) services_.actions = std::make_shared<ProcessActions>();
    if (!services_.describe)
        services_.describe = [](const QString& name, QObject* receiver,
                                std::function<void(std::optional<QString>)> done) {
            ProcessInfoLookup::shared().describe(name, receiver, std::move(done));
        };

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    prompt_ = new QLabel;
    prompt_->setAlignment(Qt::AlignCenter);
    prompt_->setWordWrap(true);
    outer->addWidget(prompt_);

    auto* scroll = new QScrollArea;
    scroll_ = scroll;
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    body_ = new QWidget;
    auto* layout = new QVBoxLayout(body_);
    name_ = new QLabel;
    name_->setFont(ViewFonts::headline(font()));
    name_->setTextFormat(Qt::PlainText);
    name_->setWordWrap(true);
    facts_ = new QLabel;
    facts_->setTextFormat(Qt::PlainText);
    facts_->setWordWrap(true);
    path_ = new QLabel;
    path_->setTextFormat(Qt::PlainText);
    path_->setWordWrap(true);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setFont(ViewFonts::caption(font()));
    layout->addWidget(name_);
    layout->addWidget(facts_);
    layout->addWidget(path_);

    auto* actions = new QHBoxLayout;
    finder_ = new QPushButton;
    terminal_ = new QPushButton;
    more_ = new QToolButton;
    more_->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(more_);
    more_->setMenu(menu);
    quit_ = new QPushButton;
    forceQuit_ = new QPushButton;
    // Two rows, so the pane's width never hides an action.
    for (QWidget* w : std::initializer_list<QWidget*>{finder_, terminal_, more_})
        actions->addWidget(w);
    actions->addStretch();
    layout->addLayout(actions);
    auto* ending = new QHBoxLayout;
    ending->addWidget(quit_);
    ending->addWidget(forceQuit_);
    ending->addStretch();
    layout->addLayout(ending);
    chips_ = new QLabel;
    chips_->setTextFormat(Qt::PlainText);
    layout->addWidget(chips_);

    for (size_t i = 0; i < sectionTitles_.size(); ++i) {
        sectionTitles_[i] = new QLabel;
        sectionTitles_[i]->setFont(ViewFonts::headline(font()));
        sectionTitles_[i]->setTextFormat(Qt::PlainText);
        sectionBodies_[i] = new QLabel;
        sectionBodies_[i]->setTextFormat(Qt::PlainText);
        sectionBodies_[i]->setWordWrap(true);
        sectionBodies_[i]->setFont(ViewFonts::caption(font()));
        layout->addSpacing(6);
        layout->addWidget(sectionTitles_[i]);
        layout->addWidget(sectionBodies_[i]);
    }
    layout->addStretch();
    scroll->setWidget(body_);
    outer->addWidget(scroll, 1);

    // The path kept for the process, so an ended one's folder can still be shown.
    connect(finder_, &QPushButton::clicked, this, [this] {
        if (!knownPath_.isEmpty()) services_.actions->revealInFinder(knownPath_);
    });
    connect(terminal_, &QPushButton::clicked, this, [this] {
        if (!knownPath_.isEmpty()) services_.actions->openTerminal(knownPath_);
    });
    connect(quit_, &QPushButton::clicked, this, [this] {
        if (pid_ && !ended_) emit killRequested(*pid_, false);
    });
    connect(forceQuit_, &QPushButton::clicked, this, [this] {
        if (pid_ && !ended_) emit killRequested(*pid_, true);
    });
    connect(services_.inspector.get(), &ProcInspector::changed, this, &AnalysisDetailPane::rebuild);
    connect(&feed_, &MetricsFeed::currentChanged, this, [this] {
        if (isVisible()) rebuild();
    });
    connect(&loc_, &Localizer::languageChanged, this, &AnalysisDetailPane::retranslate);
    retranslate();
}

AnalysisDetailPane::~AnalysisDetailPane() {
    services_.inspector->stop();
}

void AnalysisDetailPane::setPid(std::optional<int32_t> pid) {
    follow(pid, 0, {});
}

void AnalysisDetailPane::setProcess(int32_t pid, uint64_t startTime, const QString& name) {
    follow(pid, startTime, name);
}

void AnalysisDetailPane::follow(std::optional<int32_t> pid, uint64_t startTime, const QString& name) {
    if (pid == pid_ && (startTime == startTime_ || startTime == 0)) {
        if (knownName_.isEmpty()) knownName_ = name;
        return;
    }
    pid_ = pid;
    startTime_ = startTime;
    knownName_ = name;
    knownPath_.clear();
    knownStart_.reset();
    lastLive_.reset();
    shownLive_.reset();
    lastAlive_.reset();
    ended_ = false;
    description_.reset();
    describedName_.clear();
    if (pid_ && isVisible())
        services_.inspector->select(*pid_);
    else
        services_.inspector->stop();
    rebuild();
}

void AnalysisDetailPane::showEvent(QShowEvent* event) {
    if (pid_ && !ended_) services_.inspector->select(*pid_);
    rebuild();
    QWidget::showEvent(event);
}

void AnalysisDetailPane::hideEvent(QHideEvent* event) {
    services_.inspector->stop();
    QWidget::hideEvent(event);
}

void AnalysisDetailPane::retranslate() {
    prompt_->setText(loc_.t(QStringLiteral("anSelectPrompt")));
    finder_->setText(loc_.t(QStringLiteral("adFinder")));
    terminal_->setText(loc_.t(QStringLiteral("adTerminal")));
    more_->setText(loc_.t(QStringLiteral("adMore")));
    quit_->setText(loc_.t(QStringLiteral("actQuit")));
    forceQuit_->setText(loc_.t(QStringLiteral("actForceQuit")));
    QMenu* menu = more_->menu();
    menu->clear();
    menu->addAction(loc_.t(QStringLiteral("adSuspend")), this, [this] {
        if (pid_) emit suspendRequested(*pid_);
    });
    menu->addAction(loc_.t(QStringLiteral("adResume")), this, [this] {
        if (pid_) emit resumeRequested(*pid_);
    });
    menu->addAction(loc_.t(QStringLiteral("adTreeKill")), this, [this] {
        if (pid_) emit treeKillRequested(*pid_);
    });
    rebuild();
}

QString AnalysisDetailPane::headerText() const {
    return name_->text() + u'\n' + facts_->text();
}

QString AnalysisDetailPane::sectionText(Section section) const {
    const auto order = sectionOrder(kind_);
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == section) return sectionTitles_[i]->text() + u'\n' + sectionBodies_[i]->text();
    return {};
}

void AnalysisDetailPane::rebuild() {
    prompt_->setVisible(!pid_);
    scroll_->setVisible(pid_.has_value());
    if (!pid_) return;
    observe();
    render();
}

void AnalysisDetailPane::observe() {
    const int32_t pid = *pid_;
    const ProcInspector& in = *services_.inspector;
    // A pid now held by another process is not this one.
    std::optional<ProcInfo> live = feed_.liveProcess(pid);
    if (live && startTime_ != 0 && live->startTime != 0 && live->startTime != startTime_) live.reset();
    // Without a process list this tick, absence proves nothing.
    const bool measured = feed_.current().processesMeasured || !feed_.current().processes.empty();
    if (live) {
        lastLive_ = live;
        lastAlive_ = feed_.current().time;
        if (startTime_ == 0) startTime_ = live->startTime;
        knownName_ = live->name;
    } else if (measured && !ended_) {
        ended_ = true;
        services_.inspector->stop();  // nothing left to read; what was read stays below
        if (!lastAlive_) {
            // Never seen alive here: its last moment in the history tells when and what.
            TimePoint when{};
            if (const ProcShare* last = feed_.attribution().lastShare({pid, startTime_}, &when)) {
                lastAlive_ = when;
                ProcInfo p;
                p.pid = pid;
                p.startTime = startTime_;
                p.name = knownName_;
                p.cpu = last->cpu;
                p.memBytes = last->memBytes;
                p.diskReadBps = last->diskReadBps;
                p.diskWriteBps = last->diskWriteBps;
                p.gpuPercent = last->gpuPercent;
                lastLive_ = p;
            }
        }
    }
    const bool current = !ended_ && in.pid() == pid;
    const auto& info = current ? in.staticInfo() : std::optional<ProcessStaticInfo>();
    if (info) {
        if (!info->name.isEmpty()) knownName_ = info->name;
        if (!info->path.isEmpty()) knownPath_ = info->path;
        if (info->startDate) knownStart_ = *info->startDate;
    }
    shownLive_ = ended_ ? lastLive_ : live;
    if (knownName_.isEmpty()) knownName_ = feed_.attribution().name({pid, startTime_});
    if (info && !info->name.isEmpty() && info->name != describedName_) {
        describedName_ = info->name;
        const int32_t asked = pid;
        // The description is one more text: its arrival changes what is shown, not what is known.
        services_.describe(info->name, this, [this, asked](std::optional<QString> text) {
            if (pid_ != asked) return;  // another process by now
            description_ = std::move(text);
            render();
        });
    }
}

void AnalysisDetailPane::render() {
    if (!pid_) return;
    const int32_t pid = *pid_;
    const ProcInspector& in = *services_.inspector;
    DetailFacts facts;
    facts.pid = pid;
    facts.name = knownName_;
    facts.ended = ended_;
    facts.lastAlive = lastAlive_;
    facts.endedAt = lastAlive_.value_or(feed_.current().time);
    facts.started = knownStart_;
    facts.description = description_;
    facts.live = shownLive_;
    if (!ended_ && in.pid() == pid) {
        facts.liveInfo = in.live();
        facts.mem = in.mem();
        facts.memLoading = in.memLoading();
        facts.conns = in.conns();
        facts.connsLoading = in.connsLoading();
        facts.files = in.files();
        facts.filesLoading = in.filesLoading();
    }
    const DetailTexts texts = analysisDetailTexts(loc_, kind_, facts, WallClock::now());
    name_->setText(texts.name);
    facts_->setText(texts.facts);
    path_->setText(knownPath_);
    path_->setVisible(!knownPath_.isEmpty());
    finder_->setEnabled(!knownPath_.isEmpty());
    terminal_->setEnabled(!knownPath_.isEmpty());
    // An ended process can be neither signalled nor suspended.
    quit_->setEnabled(pid >= 2 && !ended_);
    forceQuit_->setEnabled(pid >= 2 && !ended_);
    more_->setEnabled(pid >= 2 && !ended_);
    chips_->setText(texts.chips);
    for (size_t i = 0; i < texts.sections.size(); ++i) {
        sectionTitles_[i]->setText(texts.sections[i].title);
        sectionBodies_[i]->setText(texts.sections[i].lines.join(u'\n'));
    }
}

}  // namespace velmora
