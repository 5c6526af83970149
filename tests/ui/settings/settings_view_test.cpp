#include "ui/settings/settings_view.h"

#include "core/brand.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "maintenance/bug_reporter.h"
#include "platform/login_item.h"
#include "support/test_util.h"
#include "ui/common/symbols.h"
#include "ui/settings/bug_report_sheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A registration kept in memory. `refuse` makes every change fail (with `failure` as the
// reason); `ignore` reports success and changes nothing.
class FakeLoginItem : public platform::LoginItem {
  public:
    bool isAvailable = true;
    bool isEnabled = false;
    bool refuse = false;
    bool ignore = false;
    Failure failure;
    std::vector<bool> requests;
    bool available() const override { return isAvailable; }
    bool enabled() const override { return isEnabled; }
    bool setEnabled(bool on) override {
        requests.push_back(on);
        if (refuse) return false;
        if (!ignore) isEnabled = on;
        return true;
    }
    Failure lastFailure() const override { return refuse ? failure : Failure{}; }
};

// One notch of the wheel over the middle of `target`, downwards unless `up`.
void wheel(QWidget* target, bool up = false) {
    const QPointF at = QRectF(target->rect()).center();
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, up ? 120 : -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

// A service on 127.0.0.1 that accepts every report once it has the whole request.
class AcceptingService : public QObject {
  public:
    AcceptingService() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/api/bugs").arg(server_.serverPort()); }

  private:
    void onData(QTcpSocket* s) {
        QByteArray& buf = buffers_[s];
        buf += s->readAll();
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0) return;
        qsizetype length = 0;
        for (const QByteArray& line : buf.left(end).split('\n'))
            if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
        if (buf.size() < end + 4 + length) return;
        buf.clear();
        const QByteArray body = R"({"id":"r-1"})";
        s->write("HTTP/1.1 201 Created\r\nContent-Type: application/json\r\nContent-Length: " +
                 QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

Localizer makeLocalizer(QStringList preferred = {}) {
    return Localizer({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                     [preferred] { return preferred; });
}

BugReporter::Config reporterConfig(const QString& dir, const QString& endpoint) {
    BugReporter::Config c;
    c.dir = dir;
    c.context = QStringLiteral("ctx");
    c.endpoint = QUrl(endpoint);
    return c;
}

class Settings : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc = makeLocalizer();
    FakeLoginItem login;
    int authorizations = 0;
    std::vector<QUrl> opened;

    std::unique_ptr<SettingsView> make(BugReporter* reporter = nullptr) {
        SettingsView::Services s;
        s.onAuthorize = [this] { ++authorizations; };
        s.loginItem = &login;
        s.reporter = reporter;
        s.openUrl = [this](const QUrl& u) { opened.push_back(u); };
        return std::make_unique<SettingsView>(settings, loc, std::move(s));
    }
};

}  // namespace

TEST_F(Settings, FormHasTheFixedSizeAndEveryLinkSymbol) {
    auto view = make();
    EXPECT_EQ(view->size(), QSize(SettingsView::kWidth, SettingsView::kHeight));
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
    for (const char* symbol : {"questionmark.circle", "safari", "exclamationmark.bubble"}) {
        EXPECT_TRUE(Symbols::hasBundled(QString::fromLatin1(symbol))) << symbol;
        EXPECT_FALSE(Symbols::themeNames(QString::fromLatin1(symbol)).isEmpty()) << symbol;
    }
    EXPECT_FALSE(view->helpLink()->icon().isNull());
}

// The form scrolls downwards only: in every language each row fits the fixed width, so no
// control is cut off at the right edge (long labels wrap instead).
TEST_F(Settings, EveryRowFitsTheWidthInEveryLanguage) {
    auto view = make();
    view->show();
    const QScrollArea* scroll = view->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    for (const QString& language : Localizer::supported()) {
        loc.apply(language);
        QCoreApplication::processEvents();
        EXPECT_LE(scroll->widget()->minimumSizeHint().width(), scroll->viewport()->width()) << language.toStdString();
    }
}

// The stop choices' texts wrap beside their buttons: a click on a text chooses it, and each
// button is still named by its text for a screen reader.
TEST_F(Settings, AStopChoiceIsChosenByItsTextToo) {
    auto view = make();
    view->show();
    const auto textOf = [&](QAbstractButton* choice) -> QLabel* {
        for (QLabel* l : view->findChildren<QLabel*>())
            if (l->buddy() == choice) return l;
        return nullptr;
    };
    QLabel* safe = textOf(view->safeStop());
    QLabel* aggressive = textOf(view->aggressiveStop());
    ASSERT_TRUE(safe && aggressive);
    QTest::mouseClick(aggressive, Qt::LeftButton);
    EXPECT_TRUE(settings.aggressiveServiceStop());
    QTest::mouseClick(safe, Qt::LeftButton);
    EXPECT_FALSE(settings.aggressiveServiceStop());
    EXPECT_EQ(view->aggressiveStop()->accessibleName(), loc.t(QStringLiteral("setServiceStopAggressive")));
    EXPECT_EQ(aggressive->text(), loc.t(QStringLiteral("setServiceStopAggressive")));
}

TEST_F(Settings, ThresholdSliderProducesOnlyStepsOfFive) {
    settings.setAlertsEnabled(true);
    auto view = make();
    QSlider* slider = view->thresholdSlider();
    QSet<int> stored;
    auto record = [&] { stored.insert(static_cast<int>(settings.cpuThreshold() * 1000)); };
    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    record();
    for (int i = 0; i < 30; ++i) {
        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        record();
    }
    for (int i = 0; i < 30; ++i) {
        slider->triggerAction(QAbstractSlider::SliderPageStepSub);
        record();
    }
    for (int pos = slider->minimum() - 3; pos <= slider->maximum() + 3; ++pos) {
        slider->setValue(pos);
        record();
    }
    QSet<int> allowed;
    for (int v = 50; v <= 100; v += 5)
        allowed.insert(v * 1000);
    EXPECT_EQ(stored, allowed) << "every step from 50 to 100 is reachable, nothing else";
    slider->setValue(slider->minimum() + 3);
    EXPECT_EQ(view->thresholdValue()->text(), "65%");
}

TEST_F(Settings, ThresholdRowShowsOnlyWhileAlertsAreOnAndTurningOnAsksPermission) {
    settings.setCpuThreshold(70);
    auto view = make();
    view->show();
    EXPECT_FALSE(view->thresholdRow()->isVisible());
    view->alertsToggle()->click();
    EXPECT_TRUE(settings.alertsEnabled());
    EXPECT_EQ(authorizations, 1);
    EXPECT_TRUE(view->thresholdRow()->isVisible());
    EXPECT_EQ(view->thresholdSlider()->value() * SettingsView::kThresholdStep, 70);
    EXPECT_EQ(view->thresholdValue()->text(), "70%");
    EXPECT_EQ(settings.cpuThreshold(), 70) << "showing the stored value writes nothing";
    view->alertsToggle()->click();
    EXPECT_FALSE(settings.alertsEnabled());
    EXPECT_FALSE(view->thresholdRow()->isVisible());
    EXPECT_EQ(authorizations, 1) << "turning alerts off asks nothing";
}

TEST_F(Settings, EachControlWritesItsSettingAtOnce) {
    auto view = make();
    struct Case {
        const char* name;
        std::function<void()> act;
        std::function<bool()> stored;
    };
    const std::vector<Case> cases = {
        {"metric", [&] { view->metricPicker()->activated(3); },
         [&] { return settings.menuBarMetric() == MenuBarMetric::network; }},
        {"interval", [&] { view->intervalPicker()->activated(2); }, [&] { return settings.refreshInterval() == 5.0; }},
        {"gpu", [&] { view->gpuToggle()->click(); }, [&] { return !settings.collectProcessGPU(); }},
        {"system", [&] { view->systemToggle()->click(); }, [&] { return !settings.showSystemProcesses(); }},
        {"remember off", [&] { view->rememberPicker()->activated(0); }, [&] { return settings.rememberLoadSeconds() == 0; }},
        {"remember 30 s", [&] { view->rememberPicker()->activated(2); }, [&] { return settings.rememberLoadSeconds() == 30; }},
        {"aggressive", [&] { view->aggressiveStop()->click(); }, [&] { return settings.aggressiveServiceStop(); }},
        {"safe", [&] { view->safeStop()->click(); }, [&] { return !settings.aggressiveServiceStop(); }},
        {"language", [&] { view->languagePicker()->activated(view->languagePicker()->findData("de")); },
         [&] { return settings.language() == "de"; }},
        {"auto", [&] { view->languagePicker()->activated(0); }, [&] { return settings.language() == "auto"; }},
    };
    QSignalSpy written(&settings, &AppSettings::stored);
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.stored()) << c.name;
    }
    // A store reloaded from the file sees the same values once the run of changes is
    // written: nothing waits for an apply step.
    ASSERT_TRUE(written.wait(5000));
    EXPECT_EQ(written.count(), 1);
    AppSettings reloaded(dir.filePath("settings.json"));
    EXPECT_EQ(reloaded.menuBarMetric(), MenuBarMetric::network);
    EXPECT_EQ(reloaded.refreshInterval(), 5.0);
    EXPECT_FALSE(reloaded.collectProcessGPU());
}

TEST_F(Settings, ControlsFollowChangesMadeElsewhereWithoutWritingBack) {
    auto view = make();
    settings.setMenuBarMetric(MenuBarMetric::temperature);
    settings.setRefreshInterval(1);
    settings.setAggressiveServiceStop(true);
    settings.setLanguage(QStringLiteral("ja"));
    EXPECT_EQ(view->metricPicker()->currentText(), loc.t("mbTemp"));
    EXPECT_EQ(view->intervalPicker()->currentText(), loc.t("setRefreshUnit", 1));
    EXPECT_TRUE(view->aggressiveStop()->isChecked());
    EXPECT_EQ(view->languagePicker()->currentData().toString(), "ja");
    settings.setLanguage(QStringLiteral("xx"));
    EXPECT_EQ(view->languagePicker()->currentIndex(), 0) << "an unknown stored language shows as automatic";
    EXPECT_EQ(settings.language(), "xx") << "and is not overwritten by showing it";
}

TEST_F(Settings, PickerLabelsFollowTheLanguage) {
    auto view = make();
    const QStringList metrics = {"CPU", loc.t("dashMemory"), "GPU", loc.t("dashNetwork"), loc.t("mbTemp")};
    for (int i = 0; i < metrics.size(); ++i)
        EXPECT_EQ(view->metricPicker()->itemText(i), metrics[i]);
    EXPECT_EQ(view->intervalPicker()->itemText(0), "1 s");
    EXPECT_EQ(view->intervalPicker()->itemText(2), "5 s");
    EXPECT_EQ(view->rememberPicker()->itemText(0), "Off");
    EXPECT_EQ(view->rememberPicker()->itemText(2), "Every 30 s");
    loc.apply(QStringLiteral("ko"));
    EXPECT_EQ(view->intervalPicker()->itemText(1), "2초");
    EXPECT_EQ(view->rememberPicker()->itemText(1), "10초마다");
    EXPECT_EQ(view->metricPicker()->itemText(1), "메모리");
    EXPECT_EQ(view->reportButton()->text(), loc.t("bugTitle"));
}

TEST(SettingsLanguage, AutoNamesTheSystemLanguageThenEachLanguageByItsOwnName) {
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("settings.json"));
    Localizer loc = makeLocalizer({QStringLiteral("fr-FR"), QStringLiteral("en-US")});
    SettingsView view(settings, loc, {});
    QComboBox* picker = view.languagePicker();
    ASSERT_EQ(picker->count(), 1 + Localizer::supported().size());
    EXPECT_EQ(picker->itemData(0).toString(), "auto");
    EXPECT_EQ(picker->itemText(0), loc.t("setLangAuto", QStringLiteral("Français")));
    EXPECT_EQ(picker->itemText(0), "Automatic (Français)") << "English texts, the system language named";
    for (int i = 0; i < Localizer::supported().size(); ++i) {
        const QString code = Localizer::supported()[i];
        EXPECT_EQ(picker->itemData(i + 1).toString(), code);
        EXPECT_EQ(picker->itemText(i + 1), Localizer::displayName(code));
    }
}

TEST_F(Settings, LoginToggleIsOffAndDisabledWithoutARegistration) {
    login.isAvailable = false;
    login.isEnabled = true;  // whatever a lookup would say
    auto view = make();
    EXPECT_FALSE(view->loginToggle()->isEnabled());
    EXPECT_FALSE(view->loginToggle()->isChecked());

    SettingsView none(settings, loc, {});
    EXPECT_FALSE(none.loginToggle()->isEnabled()) << "no registration at all";
}

TEST_F(Settings, LoginToggleRegistersAndShowsWhatTheSystemReports) {
    login.isEnabled = true;
    auto view = make();
    EXPECT_TRUE(view->loginToggle()->isChecked()) << "read from the registration when made";
    view->loginToggle()->click();
    EXPECT_EQ(login.requests, std::vector<bool>{false});
    EXPECT_FALSE(view->loginToggle()->isChecked());
    EXPECT_FALSE(view->loginNote()->isVisibleTo(view.get()));
}

// After every attempt the toggle shows what the system holds; one that did not take puts
// it back and says why.
TEST_F(Settings, LoginChangeThatDoesNotTakePutsTheToggleBackAndSaysWhy) {
    const QString blocked = dir.filePath("autostart");
    const struct {
        const char* name;
        bool refuse;
        bool ignore;
        platform::LoginItem::Failure failure;
        QString note;  // empty: none shown
    } cases[] = {
        {"registered", false, false, {}, {}},
        {"refused without a reason", true, false, {}, loc.t("setLoginRefused")},
        {"failed write",
         true,
         false,
         {blocked, "Not a directory"},
         loc.t("setLoginFailed", blocked, QStringLiteral("Not a directory"))},
        {"said yes, changed nothing", false, true, {}, loc.t("setLoginRefused")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool from : {false, true}) {
            login = FakeLoginItem();
            login.isEnabled = from;
            login.refuse = c.refuse;
            login.ignore = c.ignore;
            login.failure = c.failure;
            auto view = make();
            view->show();
            view->loginToggle()->click();
            EXPECT_EQ(login.requests, std::vector<bool>{!from});
            const bool took = c.note.isEmpty();
            EXPECT_EQ(view->loginToggle()->isChecked(), took ? !from : from);
            EXPECT_EQ(view->loginNote()->isVisible(), !took);
            if (!took) {
                EXPECT_EQ(view->loginNote()->text(), c.note);
            }
        }
    }

    // A later change that takes clears the line; the line follows the language.
    login = FakeLoginItem();
    login.refuse = true;
    auto view = make();
    view->show();
    view->loginToggle()->click();
    loc.apply(QStringLiteral("de"));
    EXPECT_EQ(view->loginNote()->text(), loc.t("setLoginRefused"));
    login.refuse = false;
    view->loginToggle()->click();
    EXPECT_TRUE(view->loginToggle()->isChecked());
    EXPECT_FALSE(view->loginNote()->isVisible());
}

TEST_F(Settings, AboutLineAndLinks) {
    auto view = make();
    for (const char* lang : {"en", "ko", "fr"}) {
        loc.apply(QString::fromLatin1(lang));
        EXPECT_EQ(view->aboutLine()->text(), "Velmora " + Brand::version()) << lang;
    }
    view->helpLink()->click();
    view->homepageLink()->click();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], Brand::helpPageFallback());
    EXPECT_EQ(opened[1], Brand::companyHomepageFallback());
}

TEST_F(Settings, ReportSheetRefusesBlankTextAndKeepsAnUndeliveredOne) {
    // Nothing listens on a port just released: the post fails at once.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    QTemporaryDir logs;
    BugReporter reporter(reporterConfig(logs.filePath("logs"), QStringLiteral("http://127.0.0.1:%1/api/bugs").arg(port)));
    auto view = make(&reporter);
    view->show();
    view->reportButton()->click();
    BugReportSheet* sheet = view->reportSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->editor()->height(), BugReportSheet::kEditorHeight);

    sheet->editor()->setPlainText(" \n\t \n");
    EXPECT_FALSE(sheet->sendButton()->isEnabled());
    sheet->send();
    EXPECT_FALSE(sheet->sending());
    EXPECT_TRUE(QDir(logs.filePath("logs")).isEmpty()) << "a blank report is not even kept";

    sheet->editor()->setPlainText("  the fans never stop  ");
    sheet->sendButton()->click();
    EXPECT_TRUE(sheet->sending());
    EXPECT_FALSE(sheet->sendButton()->isEnabled());
    EXPECT_EQ(sheet->sendButton()->text(), loc.t("bugSending"));
    ASSERT_TRUE(test::waitUntil([&] { return !sheet->sending(); }));
    const QStringList saved = QDir(logs.filePath("logs")).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(sheet->resultKey(), "bugSavedAt");
    EXPECT_EQ(sheet->result()->text(), loc.t("bugSavedAt", QDir(logs.filePath("logs")).filePath(saved[0])))
        << "the line names the file";
    EXPECT_EQ(sheet->editor()->toPlainText(), "  the fans never stop  ") << "the description stays";

    sheet->closeButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    view->reportButton()->click();
    EXPECT_EQ(view->reportSheet(), sheet) << "reopened with its text and outcome";
    EXPECT_EQ(sheet->editor()->toPlainText(), "  the fans never stop  ");
    EXPECT_TRUE(sheet->result()->isVisibleTo(sheet));
}

TEST_F(Settings, ReportNeitherSavedNorSentSaysSo) {
    QTemporaryDir logs;
    test::writeFile(logs, "blocked", "a file where the folder should be");
    BugReporter reporter(reporterConfig(logs.filePath("blocked/logs"), QStringLiteral("http://127.0.0.1:1/api/bugs")));
    BugReportSheet sheet(reporter, loc);
    sheet.editor()->setPlainText("lost?");
    sheet.send();
    ASSERT_TRUE(test::waitUntil([&] { return !sheet.sending(); }));
    EXPECT_EQ(sheet.resultKey(), "bugNotSaved");
    EXPECT_EQ(sheet.editor()->toPlainText(), "lost?");
}

// What the sheet says after each kind of outcome, and whether the description stays: a
// report that was cut keeps the whole text in the editor even when sent.
TEST_F(Settings, ReportOutcomeNamesTheSavedFileAndSaysWhenTheTextWasCut) {
    AcceptingService service;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString unreachable = QStringLiteral("http://127.0.0.1:%1/api/bugs").arg(probe.serverPort());
    probe.close();
    const QString longText = QString(70 * 1024, u'x');
    const struct {
        const char* name;
        bool reachable;
        QString text;
        const char* key;
        bool cut;
        bool cleared;
    } cases[] = {
        {"sent", true, "it hangs", "bugSentAt", false, true},
        {"sent, cut", true, longText, "bugSentAt", true, false},
        {"kept only", false, "it hangs", "bugSavedAt", false, false},
        {"kept only, cut", false, longText, "bugSavedAt", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir logs;
        BugReporter reporter(
            reporterConfig(logs.filePath("logs"), c.reachable ? service.url() : unreachable));
        BugReportSheet sheet(reporter, loc);
        sheet.editor()->setPlainText(c.text);
        sheet.send();
        ASSERT_TRUE(test::waitUntil([&] { return !sheet.sending(); }, std::chrono::seconds(20)));
        const QStringList saved = QDir(logs.filePath("logs")).entryList(QDir::Files);
        ASSERT_EQ(saved.size(), 1);
        const QString path = QDir(logs.filePath("logs")).filePath(saved[0]);
        EXPECT_EQ(sheet.resultKey(), c.key);
        EXPECT_EQ(sheet.savedPath(), path);
        EXPECT_EQ(sheet.lastCut(), c.cut);
        QString expected = loc.t(c.key, path);
        if (c.cut) expected += "\n" + loc.t("bugCut", 64);
        EXPECT_EQ(sheet.result()->text(), expected);
        EXPECT_EQ(sheet.editor()->toPlainText().isEmpty(), c.cleared);
        if (!c.cleared) {
            EXPECT_EQ(sheet.editor()->toPlainText(), c.text) << "nothing the user wrote is lost";
        }
    }
}

// The wheel over a picker or the slider scrolls the page unless the control has the focus.
TEST_F(Settings, WheelOverAnUnfocusedControlScrollsThePageInstead) {
    settings.setAlertsEnabled(true);
    auto view = make();
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QScrollBar* page = view->scrollArea()->verticalScrollBar();
    ASSERT_GT(page->maximum(), 0) << "the form is taller than its window";
    const struct {
        const char* name;
        QWidget* control;
        std::function<int()> value;
        std::function<QString()> stored;
    } cases[] = {
        {"metric", view->metricPicker(), [&] { return view->metricPicker()->currentIndex(); },
         [&] { return rawValue(settings.menuBarMetric()); }},
        {"interval", view->intervalPicker(), [&] { return view->intervalPicker()->currentIndex(); },
         [&] { return QString::number(settings.refreshInterval()); }},
        {"remember", view->rememberPicker(), [&] { return view->rememberPicker()->currentIndex(); },
         [&] { return QString::number(settings.rememberLoadSeconds()); }},
        {"threshold", view->thresholdSlider(), [&] { return view->thresholdSlider()->value(); },
         [&] { return QString::number(settings.cpuThreshold()); }},
        {"language", view->languagePicker(), [&] { return view->languagePicker()->currentIndex(); },
         [&] { return settings.language(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view->setFocus();
        ASSERT_FALSE(c.control->hasFocus());
        view->scrollArea()->ensureWidgetVisible(c.control);
        // Towards whichever end of the page is further away, so the page can move.
        const bool up = page->value() == page->maximum();
        const int before = c.value();
        const QString storedBefore = c.stored();
        const int pageBefore = page->value();
        wheel(c.control, up);
        EXPECT_EQ(c.value(), before) << "unfocused: the control stays";
        EXPECT_EQ(c.stored(), storedBefore);
        EXPECT_NE(page->value(), pageBefore) << "and the page scrolls";

        c.control->setFocus();
        ASSERT_TRUE(c.control->hasFocus());
        view->scrollArea()->ensureWidgetVisible(c.control);
        const int pageFocused = page->value();
        // Towards the end the control can still move to.
        const bool towardsStart = c.value() > 0 && c.value() == before;
        wheel(c.control, towardsStart);
        if (c.value() == before) wheel(c.control, !towardsStart);
        EXPECT_NE(c.value(), before) << "focused: the control takes the wheel";
        EXPECT_EQ(page->value(), pageFocused);
    }
}

TEST(SettingsStoredValues, OutOfRangeValuesShowAsTheNearestOffered) {
    const struct {
        const char* json;
        QString threshold;
        int interval;
    } cases[] = {
        {R"({"cpuAlertThreshold": 1e300, "refreshInterval": 1e300})", "100%", 2},
        {R"({"cpuAlertThreshold": -4, "refreshInterval": -1})", "50%", 0},
        {R"({"cpuAlertThreshold": 72.5, "refreshInterval": 3})", "75%", 1},
        {R"({"cpuAlertThreshold": 72.4, "refreshInterval": 3.6})", "70%", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        QTemporaryDir dir;
        test::writeFile(dir, "settings.json", QByteArray(c.json));
        AppSettings settings(dir.filePath("settings.json"));
        settings.setAlertsEnabled(true);
        Localizer loc = makeLocalizer();
        SettingsView view(settings, loc, {});
        EXPECT_EQ(view.thresholdValue()->text(), c.threshold);
        EXPECT_EQ(view.thresholdSlider()->value() * SettingsView::kThresholdStep,
                  c.threshold.chopped(1).toInt());
        EXPECT_EQ(view.intervalPicker()->currentIndex(), c.interval);
    }
}

TEST_F(Settings, ASliderDragIsWrittenOnceAndClosingWritesWhatWaits) {
    settings.setAlertsEnabled(true);
    settings.flush();
    auto view = make();
    view->show();
    QSignalSpy written(&settings, &AppSettings::stored);
    QSlider* slider = view->thresholdSlider();
    slider->setSliderDown(true);
    for (int pos = slider->minimum(); pos <= slider->maximum(); ++pos)
        slider->setValue(pos);
    slider->setSliderDown(false);
    ASSERT_TRUE(written.wait(5000));
    EXPECT_FALSE(written.wait(700)) << "one write for the whole drag";
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(AppSettings(dir.filePath("settings.json")).cpuThreshold(), 100.0);

    view->metricPicker()->activated(2);
    EXPECT_TRUE(settings.hasPendingWrites());
    view->close();
    EXPECT_FALSE(settings.hasPendingWrites()) << "closing the window writes at once";
    EXPECT_EQ(AppSettings(dir.filePath("settings.json")).menuBarMetric(), MenuBarMetric::gpu);
}

// The line above the form: an unreadable store, then where it was kept (once), then a
// store that cannot be written.
TEST(SettingsStoreNote, SaysWhatIsWrongWithTheStoreAndTheMoveAsideOnce) {
    QTemporaryDir dir;
    Localizer loc = makeLocalizer();
    const QString path = dir.filePath("velmora/settings.json");
    test::writeFile(dir, "velmora/settings.json", "{\"uiLanguage\": \"ko\"");
    AppSettings::Options options;
    options.clock = [] { return QDateTime(QDate(2026, 12, 7), QTime(2, 26, 47), Qt::UTC); };
    AppSettings settings(path, options);
    {
        SettingsView view(settings, loc, {});
        view.show();
        EXPECT_TRUE(view.storeNote()->isVisible());
        EXPECT_EQ(view.storeNote()->text(), loc.t("setStoreUnreadable", path));
        view.gpuToggle()->click();
        ASSERT_TRUE(settings.flush());
        const QString aside = path + ".unreadable-20261207T022647Z";
        EXPECT_EQ(view.storeNote()->text(), loc.t("setStoreSetAside", aside));
        loc.apply(QStringLiteral("ja"));
        EXPECT_EQ(view.storeNote()->text(), loc.t("setStoreSetAside", aside)) << "in the language chosen";
        view.close();
    }
    {
        SettingsView view(settings, loc, {});
        view.show();
        EXPECT_FALSE(view.storeNote()->isVisible()) << "said once";
        // The folder is replaced by a file: nothing can be written any more.
        QDir(dir.filePath("velmora")).removeRecursively();
        test::writeFile(dir, "velmora", "in the way");
        view.systemToggle()->click();
        EXPECT_FALSE(settings.flush());
        EXPECT_TRUE(view.storeNote()->isVisible());
        EXPECT_EQ(view.storeNote()->text(), loc.t("setStoreUnwritable", path));
        QFile::remove(dir.filePath("velmora"));
        EXPECT_TRUE(settings.flush());
        EXPECT_FALSE(view.storeNote()->isVisible()) << "gone once a write succeeds";
    }
}

TEST_F(Settings, ForgettingHistoryAsksFirstAndSaysHowItWent) {
    struct Case {
        const char* what;
        bool answer;
        std::optional<std::pair<bool, QString>> outcome;  // none: never asked to forget
        QString note;
    };
    const Case cases[] = {
        {"declined", false, std::nullopt, QString()},
        {"forgotten", true, std::pair<bool, QString>{true, {}}, QStringLiteral("History forgotten.")},
        {"refused", true, std::pair<bool, QString>{false, QStringLiteral("Permission denied")},
         QStringLiteral("The history could not be deleted: Permission denied")},
    };
    loc.apply(QStringLiteral("en"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int asked = 0, forgets = 0;
        QString question;
        SettingsView::Services s;
        s.confirm = [&](const QString& q) {
            ++asked;
            question = q;
            return c.answer;
        };
        s.forgetHistory = [&](std::function<void(bool, const QString&)> done) {
            ++forgets;
            done(c.outcome->first, c.outcome->second);
        };
        SettingsView view(settings, loc, std::move(s));
        ASSERT_FALSE(view.forgetButton()->isHidden());
        view.forgetButton()->click();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(question.contains(QStringLiteral("cannot be undone"))) << question.toStdString();
        EXPECT_EQ(forgets, c.outcome ? 1 : 0);
        EXPECT_EQ(view.historyNote()->isHidden(), c.note.isEmpty());
        if (!c.note.isEmpty()) {
            EXPECT_EQ(view.historyNote()->text(), c.note);
        }
        EXPECT_TRUE(view.forgetButton()->isEnabled());
    }
    // Without a record to forget, there is no button.
    SettingsView bare(settings, loc, {});
    EXPECT_TRUE(bare.forgetButton()->isHidden());
}

TEST_F(Settings, AHistoryDatabaseSetAsideIsNamedInTheCurrentLanguage) {
    auto view = make();
    EXPECT_TRUE(view->historyNote()->isHidden());
    view->showHistoryProblem(QStringLiteral("/s/history.sqlite.unreadable-1"), {});
    loc.apply(QStringLiteral("en"));
    EXPECT_FALSE(view->historyNote()->isHidden());
    EXPECT_EQ(view->historyNote()->text(),
              QStringLiteral("The history database could not be read. It was kept unchanged as "
                             "/s/history.sqlite.unreadable-1, and a new one was started."));
    loc.apply(QStringLiteral("ko"));
    EXPECT_TRUE(view->historyNote()->text().contains(QStringLiteral("/s/history.sqlite.unreadable-1")));
    EXPECT_NE(view->historyNote()->text().left(10), QStringLiteral("The histor"));
    view->showHistoryProblem({}, QStringLiteral("no driver"));
    EXPECT_TRUE(view->historyNote()->text().contains(QStringLiteral("no driver")));
}
