#include "ui/analysis/analysis_detail.h"

#include "core/format.h"
#include "core/localizer.h"
#include "inspect/process_info_lookup.h"
#include "platform/process.h"
#include "ui/common/one_line.h"
#include "ui/common/view_fonts.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

QString L(const char* key) {
    return Localizer::shared().t(QString::fromLatin1(key));
}

template <typename... Args>
QString L(const char* key, const Args&... args) {
    return Localizer::shared().t(QString::fromLatin1(key), args...);
}

constexpr int kConnectionsShown = 40;
constexpr int kFilesShown = 60;


}  // namespace

std::array<AnalysisDetailPane::Section, 4> AnalysisDetailPane::sectionOrder(AnalysisKind kind) {
    using S = Section;
    switch (kind) {
        case AnalysisKind::memory:
            return {S::memory, S::cpudisk, S::network, S::files};
        case AnalysisKind::disk:
            return {S::cpudisk, S::files, S::network, S::memory};
        case AnalysisKind::network:
            return {S::network, S::files, S::cpudisk, S::memory};
        case AnalysisKind::cpu:
        case AnalysisKind::gpu:
            break;
    }
    return {S::cpudisk, S::memory, S::network, S::files};
}

AnalysisDetailPane::AnalysisDetailPane(const MetricsFeed& feed, AnalysisKind kind, Services services,
                                       QWidget* parent)
    : QWidget(parent), feed_(feed), kind_(kind), services_(std::move(services)) {
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
    connect(&Localizer::shared(), &Localizer::languageChanged, this, &AnalysisDetailPane::retranslate);
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
    prompt_->setText(L("anSelectPrompt"));
    finder_->setText(L("adFinder"));
    terminal_->setText(L("adTerminal"));
    more_->setText(L("adMore"));
    quit_->setText(L("actQuit"));
    forceQuit_->setText(L("actForceQuit"));
    QMenu* menu = more_->menu();
    menu->clear();
    menu->addAction(L("adSuspend"), this, [this] {
        if (pid_) emit suspendRequested(*pid_);
    });
    menu->addAction(L("adResume"), this, [this] {
        if (pid_) emit resumeRequested(*pid_);
    });
    menu->addAction(L("adTreeKill"), this, [this] {
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
    if (ended_) live = lastLive_;
    if (knownName_.isEmpty()) knownName_ = feed_.attribution().name({pid, startTime_});
    const QString name = !knownName_.isEmpty() ? knownName_ : platform::pidName(pid);
    name_->setText(oneLine(name));
    if (info && !info->name.isEmpty() && info->name != describedName_) {
        describedName_ = info->name;
        const int32_t asked = pid;
        services_.describe(info->name, this, [this, asked](std::optional<QString> text) {
            if (pid_ != asked) return;  // another process by now
            description_ = std::move(text);
            rebuild();
        });
    }
    QStringList facts{QStringLiteral("PID %1").arg(pid)};
    if (ended_) {
        const TimePoint endedAt = lastAlive_.value_or(feed_.current().time);
        facts << L("adEnded", ResourceAnalysis::agoText(endedAt, WallClock::now()));
        // The uptime stopped when the process did.
        if (knownStart_ && lastAlive_) {
            const QDateTime end = QDateTime::fromMSecsSinceEpoch(
                std::chrono::duration_cast<std::chrono::milliseconds>(lastAlive_->time_since_epoch()).count());
            const qint64 seconds = knownStart_->secsTo(end);
            if (seconds >= 0) facts << L("adUptime", Format::duration(static_cast<double>(seconds)));
        }
    } else if (knownStart_) {
        const qint64 seconds = knownStart_->secsTo(QDateTime::currentDateTime());
        if (seconds >= 0) facts << L("adUptime", Format::duration(static_cast<double>(seconds)));
    }
    if (description_) facts << oneLine(*description_);
    facts_->setText(facts.join(QStringLiteral("  ·  ")));
    path_->setText(knownPath_);
    path_->setVisible(!knownPath_.isEmpty());
    finder_->setEnabled(!knownPath_.isEmpty());
    terminal_->setEnabled(!knownPath_.isEmpty());
    // An ended process can be neither signalled nor suspended.
    quit_->setEnabled(pid >= 2 && !ended_);
    forceQuit_->setEnabled(pid >= 2 && !ended_);
    more_->setEnabled(pid >= 2 && !ended_);
    const auto& liveInfo = current ? in.live() : std::optional<ProcessLiveInfo>();
    QStringList chips;
    if (live) chips << QStringLiteral("CPU %1%").arg(Format::fixed(live->cpu, 0));
    if (live) chips << L("dashMemory") + u' ' + Format::bytes(live->memBytes);
    if (liveInfo) chips << L("adThreads") + u' ' + QString::number(liveInfo->threads);
    if (live) chips << L("colDisk") + u' ' + Format::bps(live->diskReadBps + live->diskWriteBps);
    chips_->setText(chips.join(QStringLiteral("   ")));

    const auto order = sectionOrder(kind_);
    for (size_t i = 0; i < order.size(); ++i) {
        QString title;
        QStringList lines;
        switch (order[i]) {
            case Section::memory: {
                title = L("adMemBreakdown");
                if (ended_) {
                    lines << L("pdGone");
                    break;
                }
                const auto& mem = current ? in.mem() : std::optional<MemoryFootprint>();
                if (mem && mem->totalBytes > 0) lines << L("adFootprint", Format::bytes(mem->totalBytes));
                if (current && in.memLoading()) {
                    lines << L("adMemLoading");
                } else if (!mem || mem->categories.empty()) {
                    lines << L("adMemFail");
                } else {
                    lines << L("adCategory") + QStringLiteral(" — Dirty / Clean / ") + L("adReclaimable");
                    for (const MemCategory& c : mem->categories)
                        lines << QStringLiteral("%1 — %2 / %3 / %4")
                                     .arg(oneLine(c.name), Format::bytes(c.dirty), Format::bytes(c.clean),
                                          Format::bytes(c.reclaimable));
                }
                break;
            }
            case Section::network: {
                const std::vector<NetConnection> none;
                const auto& conns = current ? in.conns() : none;
                title = L("adNetConns") + QStringLiteral("  ") + L("adCountN", static_cast<qulonglong>(conns.size()));
                if (ended_) {
                    title = L("adNetConns");
                    lines << L("pdGone");
                    break;
                }
                if (current && in.connsLoading() && conns.empty()) {
                    lines << L("adConnLoading");
                } else if (conns.empty()) {
                    lines << L("adNoConns");
                }
                for (size_t c = 0; c < conns.size() && c < kConnectionsShown; ++c) {
                    const NetConnection& n = conns[c];
                    QString line = n.proto + u' ' + n.localAddr + QStringLiteral(" → ") + n.host.value_or(n.remoteAddr);
                    if (!n.state.isEmpty()) line += QStringLiteral("  ") + n.state;
                    if (n.inBytes || n.outBytes)
                        line += QStringLiteral("  ↓") + Format::bytes(n.inBytes.value_or(0)) + QStringLiteral(" ↑") +
                                Format::bytes(n.outBytes.value_or(0));
                    lines << oneLine(line);
                }
                break;
            }
            case Section::files: {
                const auto& files = current ? in.files() : std::optional<OpenFilesResult>();
                title = L("adOpenFiles");
                if (ended_) {
                    lines << L("pdGone");
                    break;
                }
                if (files) title += QStringLiteral("  ") + L("adCountN", static_cast<qulonglong>(files->totalCount));
                if (current && in.filesLoading() && !files) {
                    lines << L("adFilesLoading");
                } else if (!files) {
                    lines << L("adFetchFail");
                } else {
                    if (files->permissionLimited) lines << L("adFilesLimited");
                    QStringList names = files->connections + files->files;
                    if (names.isEmpty()) lines << L("adNoFiles");
                    for (int f = 0; f < names.size() && f < kFilesShown; ++f)
                        lines << oneLine(names[f]);
                    const qsizetype hidden = std::max<qsizetype>(files->totalCount, names.size()) - kFilesShown;
                    if (hidden > 0) lines << L("adMoreN", static_cast<qlonglong>(hidden));
                }
                break;
            }
            case Section::cpudisk: {
                title = L("adCpuDisk");
                if (live) {
                    lines << L("adCpuUsage") + QStringLiteral(": ") + Format::fixed(live->cpu, 0) + u'%';
                    lines << L("adEnergy") + QStringLiteral(": ") + Format::fixed(live->energyImpact, 0);
                }
                if (liveInfo) {
                    lines << L("adThreads") + QStringLiteral(": ") + QString::number(liveInfo->threads);
                    lines << L("adCpuTime") + QStringLiteral(": ") + Format::duration(liveInfo->cpuSeconds);
                    lines << L("adResident") + QStringLiteral(": ") + Format::bytes(liveInfo->resident);
                    lines << L("adVirtual") + QStringLiteral(": ") + Format::bytes(liveInfo->virtualSize);
                }
                if (live) {
                    lines << L("adDiskRead") + QStringLiteral(": ") + Format::bps(live->diskReadBps);
                    lines << L("adDiskWrite") + QStringLiteral(": ") + Format::bps(live->diskWriteBps);
                }
                break;
            }
        }
        sectionTitles_[i]->setText(title);
        sectionBodies_[i]->setText(lines.join(u'\n'));
    }
}

}  // namespace velmora
