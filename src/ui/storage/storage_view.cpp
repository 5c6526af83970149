#include "ui/storage/storage_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "inspect/process_actions.h"
#include "ui/common/accessibility.h"
#include "ui/common/elided_label.h"
#include "ui/common/one_line.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/storage/service_list.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>

namespace velmora {

namespace {

constexpr int kSymbolPx = 14;


QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QToolButton* symbolButton(const QIcon& icon, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setAutoRaise(true);
    b->setIcon(icon);
    b->setIconSize(QSize(kSymbolPx + 2, kSymbolPx + 2));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

QProgressBar* busyIndicator(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 6);
    bar->hide();
    return bar;
}

QLabel* captionLabel(QWidget* parent, bool smallest = false) {
    auto* l = new QLabel(parent);
    l->setFont(smallest ? ViewFonts::caption2(l->font()) : ViewFonts::caption(l->font()));
    return l;
}

void tint(QWidget* w, const QColor& color) {
    QPalette pal = w->palette();
    // Text in a status colour keeps 4.5:1 against the window, light or dark.
    pal.setColor(QPalette::WindowText, SystemColor::textOn(color, pal));
    pal.setColor(QPalette::ButtonText, SystemColor::textOn(color, pal));
    w->setPalette(pal);
}

QWidget* scrolling(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(content);
    return area;
}

}  // namespace

// Drawn once per window and shared by its rows.
struct RowArt {
    QIcon reveal, remove;
    QPixmap lock;
};

// One startup item: name over kind and path, then reveal and remove where they apply.
class StartupRow : public QWidget {
  public:
    StartupRow(QWidget* parent, const RowArt& art, std::function<void()> reveal, std::function<void()> remove)
        : QWidget(parent) {
        auto* outer = new QVBoxLayout(this);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->setSpacing(4);
        auto* line = new QHBoxLayout;
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        name_ = new ElidedLabel(Qt::ElideMiddle, this);
        name_->setObjectName(QStringLiteral("name"));
        detail_ = new ElidedLabel(Qt::ElideMiddle, this);
        detail_->setFont(ViewFonts::caption2(detail_->font()));
        tint(detail_, SystemColor::secondary(palette()));
        reason_ = new ElidedLabel(Qt::ElideRight, this);
        reason_->setObjectName(QStringLiteral("reason"));
        reason_->setFont(ViewFonts::caption2(reason_->font()));
        tint(reason_, SystemColor::secondary(palette()));
        texts->addWidget(name_);
        texts->addWidget(detail_);
        texts->addWidget(reason_);
        lock_ = new QLabel(this);
        lock_->setObjectName(QStringLiteral("lock"));
        lock_->setPixmap(art.lock);
        reveal_ = symbolButton(art.reveal, this);
        reveal_->setObjectName(QStringLiteral("reveal"));
        remove_ = symbolButton(art.remove, this);
        remove_->setObjectName(QStringLiteral("remove"));
        connect(reveal_, &QToolButton::clicked, this, std::move(reveal));
        connect(remove_, &QToolButton::clicked, this, std::move(remove));
        line->addLayout(texts, 1);
        line->addWidget(lock_);
        line->addWidget(reveal_);
        line->addWidget(remove_);
        outer->addLayout(line);
        outer->addWidget(divider(this));
    }

    void apply(const StartupRowView& shown, const Localizer& loc) {
        name_->setText(shown.name);
        // What won't start is drawn greyed, its reason below.
        tint(name_, shown.starts ? palette().color(QPalette::WindowText) : SystemColor::secondary(palette()));
        reason_->setText(shown.reason);
        reason_->setVisible(!shown.starts);
        detail_->setText(shown.detail);
        detail_->setToolTip(plainToolTip(shown.path));
        lock_->setVisible(shown.locked);
        lock_->setToolTip(loc.t(VL_KEY("stgServiceProtected")));
        reveal_->setVisible(shown.revealable);
        reveal_->setToolTip(loc.t(VL_KEY("stgReveal")));
        remove_->setVisible(shown.removable);
        remove_->setToolTip(loc.t(VL_KEY("stgRemoveLogin")));
        // Icon-only controls are named by their help, and tell which item they act on.
        for (QWidget* w : std::initializer_list<QWidget*>{lock_, reveal_, remove_}) {
            w->setAccessibleName(w->toolTip());
            w->setAccessibleDescription(shown.name);
        }
    }

  private:
    ElidedLabel* name_;
    ElidedLabel* detail_;
    ElidedLabel* reason_;
    QLabel* lock_;
    QToolButton* reveal_;
    QToolButton* remove_;
};

StorageView::Sources StorageView::systemSources() {
    return {makeSystemStartupSource(), makeSystemServiceManager(),
            [](const QString& path) { ProcessActions().revealInFinder(path); }};
}

StorageView::StorageView(AppSettings& settings, Localizer& loc, Sources sources, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      loc_(loc),
      reveal_(std::move(sources.reveal)),
      startup_(new StartupService(std::move(sources.startup), this)),
      services_(new ServicesService(std::move(sources.services), this)) {
    Accessibility::useLocalizer(this, loc_);
    setMinimumSize(580, 500);
    art_ = std::make_unique<RowArt>();
    const qreal dpr = devicePixelRatioF();
    art_->reveal = Symbols::icon(QStringLiteral("folder"));
    art_->remove = QIcon(Symbols::pixmap(QStringLiteral("minus.circle"), kSymbolPx + 2, SystemColor::red(), dpr));
    art_->lock = Symbols::pixmap(QStringLiteral("lock.fill"), kSymbolPx, SystemColor::secondary(palette()), dpr);
    build();
    retranslate();
    refreshStartup();
    refreshServices();
    connect(startup_, &StartupService::changed, this, &StorageView::refreshStartup);
    connect(services_, &ServicesService::changed, this, &StorageView::refreshServices);
    connect(&settings_, &AppSettings::aggressiveServiceStopChanged, this, [this] {
        refreshStartup();
        refreshServices();
    });
    connect(&loc_, &Localizer::languageChanged, this, [this] {
        retranslate();
        refreshStartup();
        refreshServices();
    });
}

StorageView::~StorageView() = default;

void StorageView::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    tabs_ = new QTabBar(this);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    tabs_->addTab(QString());
    tabs_->addTab(QString());
    auto* tabRow = new QHBoxLayout;
    tabRow->setContentsMargins(12, 10, 12, 10);
    tabRow->addStretch();
    tabRow->addWidget(tabs_);
    tabRow->addStretch();
    layout->addLayout(tabRow);
    layout->addWidget(divider(this));
    stack_ = new QStackedWidget(this);
    stack_->addWidget(scrolling(buildStartup(), stack_));
    stack_->addWidget(buildServices());  // its list scrolls by itself
    layout->addWidget(stack_, 1);
    connect(tabs_, &QTabBar::currentChanged, this,
            [this](int index) { setSection(index == 1 ? Section::services : Section::startup); });
    // F5 scans the section in sight again, as its refresh button does.
    rescanKeys_ = new QShortcut(QKeySequence(Qt::Key_F5), this);
    rescanKeys_->setContext(Qt::WidgetWithChildrenShortcut);
    connect(rescanKeys_, &QShortcut::activated, this, [this] {
        (section_ == Section::services ? servicesRefresh_ : startupRefresh_)->click();
    });
}

QWidget* StorageView::buildStartup() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    auto* header = new QHBoxLayout;
    startupTitle_ = new QLabel(page);
    startupTitle_->setFont(ViewFonts::headline(startupTitle_->font()));
    startupBusy_ = busyIndicator(page);
    startupRefresh_ = symbolButton(Symbols::icon(QStringLiteral("arrow.clockwise")), page);
    connect(startupRefresh_, &QToolButton::clicked, this, [this] { startup_->scan(loc_.language()); });
    header->addWidget(startupTitle_);
    header->addStretch();
    header->addWidget(startupBusy_);
    header->addWidget(startupRefresh_);
    layout->addLayout(header);
    startupNote_ = captionLabel(page);
    startupNote_->setWordWrap(true);
    tint(startupNote_, SystemColor::orange());
    layout->addWidget(startupNote_);
    startupFailure_ = captionLabel(page);
    startupFailure_->setObjectName(QStringLiteral("startupFailure"));
    startupFailure_->setWordWrap(true);
    startupFailure_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tint(startupFailure_, SystemColor::red());
    layout->addWidget(startupFailure_);
    startupRows_ = new QVBoxLayout;
    startupRows_->setSpacing(6);
    layout->addLayout(startupRows_);
    startupEmpty_ = captionLabel(page);
    layout->addWidget(startupEmpty_);
    layout->addStretch();
    return page;
}

QWidget* StorageView::buildServices() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    auto* header = new QHBoxLayout;
    servicesTitle_ = new QLabel(page);
    servicesTitle_->setFont(ViewFonts::headline(servicesTitle_->font()));
    servicesBusy_ = busyIndicator(page);
    servicesRefresh_ = symbolButton(Symbols::icon(QStringLiteral("arrow.clockwise")), page);
    connect(servicesRefresh_, &QToolButton::clicked, services_, &ServicesService::scan);
    header->addWidget(servicesTitle_);
    header->addStretch();
    header->addWidget(servicesBusy_);
    header->addWidget(servicesRefresh_);
    layout->addLayout(header);
    searchField_ = new QLineEdit(page);
    searchField_->setClearButtonEnabled(true);
    connect(searchField_, &QLineEdit::textChanged, this, &StorageView::setServiceSearch);
    layout->addWidget(searchField_);
    auto* status = new QHBoxLayout;
    countLine_ = captionLabel(page);
    tint(countLine_, SystemColor::secondary(palette()));
    modeIcon_ = new QLabel(page);
    modeText_ = captionLabel(page);
    status->addWidget(countLine_);
    status->addStretch();
    status->addWidget(modeIcon_);
    status->addWidget(modeText_);
    layout->addLayout(status);
    unreachable_ = captionLabel(page);
    unreachable_->setWordWrap(true);
    layout->addWidget(unreachable_);
    serviceNotice_ = captionLabel(page);
    serviceNotice_->setObjectName(QStringLiteral("serviceNotice"));
    serviceNotice_->setWordWrap(true);
    serviceNotice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tint(serviceNotice_, SystemColor::red());
    layout->addWidget(serviceNotice_);
    serviceList_ = new ServiceList(loc_, page);
    connect(serviceList_, &ServiceList::act, this, [this](size_t i, ServiceRowView::Control control) {
        if (i >= servicesShown_.rows.size()) return;
        const ServiceRowView& shown = servicesShown_.rows[i];
        if (shown.control != control) return;  // the row changed under the click
        if (control == ServiceRowView::Control::stop)
            services_->stop(shown.label, settings_.aggressiveServiceStop());
        else if (control == ServiceRowView::Control::start)
            services_->start(shown.label);
    });
    layout->addWidget(serviceList_, 1);
    moreLine_ = captionLabel(page);
    tint(moreLine_, SystemColor::secondary(palette()));
    layout->addWidget(moreLine_);
    return page;
}

void StorageView::retranslate() {
    tabs_->setTabText(0, loc_.t(VL_KEY("stgTabStartup")));
    tabs_->setTabText(1, loc_.t(VL_KEY("stgTabServices")));
    startupTitle_->setText(loc_.t(VL_KEY("stgLoginStart")));
    startupRefresh_->setToolTip(loc_.t(VL_KEY("stgRefresh")));
    startupEmpty_->setText(loc_.t(VL_KEY("stgNoStartup")));
    startupNote_->setText(loc_.t(VL_KEY("stgPermissionNote")));
    servicesTitle_->setText(loc_.t(VL_KEY("stgServicesTitle")));
    servicesRefresh_->setToolTip(loc_.t(VL_KEY("stgRefresh")));
    searchField_->setPlaceholderText(loc_.t(VL_KEY("stgSearch")));
    for (QToolButton* b : {startupRefresh_, servicesRefresh_})
        Accessibility::describeShortcut(b, loc_.t(VL_KEY("stgRefresh")), rescanKeys_->key());
    searchField_->setAccessibleName(loc_.t(VL_KEY("stgSearch")));
    serviceList_->setAccessibleName(loc_.t(VL_KEY("stgServicesTitle")));
    Accessibility::nameClearButton(searchField_, loc_);
    unreachable_->setText(loc_.t(VL_KEY("stgServicesUnreachable")));
    const QString note = loc_.t(VL_KEY("setServiceStopNote"));
    modeIcon_->setToolTip(note);
    modeText_->setToolTip(note);
    modeIcon_->setAccessibleName(note);
}

void StorageView::setSection(Section section) {
    if (section_ != section) {
        section_ = section;
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(section == Section::services ? 1 : 0);
        stack_->setCurrentIndex(tabs_->currentIndex());
    }
    if (isVisible()) sectionShown();
}

void StorageView::setServiceSearch(const QString& text) {
    if (search_ == text) return;
    search_ = text;
    if (searchField_->text() != text) searchField_->setText(text);
    refreshServices();
}

void StorageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    sectionShown();
}

void StorageView::sectionShown() {
    if (section_ == Section::startup && startup_->items().empty() && !startup_->loading())
        startup_->scan(loc_.language());
    if (section_ == Section::services && services_->items().empty() && !services_->loading()) services_->scan();
}

QWidget* StorageView::startupRow(size_t i) const {
    return i < startupShown_.size() ? startupPool_[i] : nullptr;
}

void StorageView::refreshStartup() {
    startupShown_ = presentStartup(startup_->items(), loc_, settings_.aggressiveServiceStop());
    startupBusy_->setVisible(startup_->loading());
    startupNote_->setVisible(startup_->needsPermission());
    const std::optional<FailedRemoval>& failed = startup_->failedRemoval();
    startupFailure_->setVisible(failed.has_value());
    // A failed removal is spoken when it appears, not at every redraw.
    if (const QString text = failed ? removalFailureText(*failed, loc_) : QString(); text != startupFailure_->text())
        Accessibility::announce(startupFailure_, text);
    startupEmpty_->setVisible(startupShown_.empty() && !startup_->loading());
    while (startupPool_.size() < startupShown_.size()) {
        const size_t i = startupPool_.size();
        auto* row = new StartupRow(
            startupRows_->parentWidget(), *art_,
            [this, i] {
                if (i < startupShown_.size() && startupShown_[i].revealable && reveal_) reveal_(startupShown_[i].path);
            },
            [this, i] {
                if (i < startup_->items().size() && i < startupShown_.size() && startupShown_[i].removable)
                    startup_->removeLoginItem(startup_->items()[i], loc_.language());
            });
        startupRows_->addWidget(row);
        startupPool_.push_back(row);
    }
    for (size_t i = 0; i < startupPool_.size(); ++i) {
        if (i < startupShown_.size()) startupPool_[i]->apply(startupShown_[i], loc_);
        startupPool_[i]->setVisible(i < startupShown_.size());
    }
}

void StorageView::refreshServices() {
    const bool aggressive = settings_.aggressiveServiceStop();
    servicesShown_ = presentServices(services_->items(), search_, aggressive, services_->reachable(), loc_);
    const ServicesPresentation& p = servicesShown_;
    servicesBusy_->setVisible(services_->loading());
    countLine_->setText(p.countLine);
    const QColor modeColor = aggressive ? SystemColor::orange() : SystemColor::secondary(palette());
    modeIcon_->setPixmap(Symbols::pixmap(aggressive ? QStringLiteral("exclamationmark.triangle.fill")
                                                    : QStringLiteral("lock.shield"),
                                         12, modeColor, devicePixelRatioF()));
    modeText_->setText(p.modeText);
    tint(modeText_, modeColor);
    unreachable_->setVisible(p.unreachable);
    const std::optional<ServicesService::Notice>& notice = services_->notice();
    serviceNotice_->setVisible(notice.has_value());
    if (const QString text = notice ? serviceNoticeText(*notice, loc_) : QString(); text != serviceNotice_->text())
        Accessibility::announce(serviceNotice_, text);
    moreLine_->setText(p.moreLine);
    moreLine_->setVisible(!p.moreLine.isEmpty());

    serviceList_->setRows(p.rows);
}

}  // namespace velmora
