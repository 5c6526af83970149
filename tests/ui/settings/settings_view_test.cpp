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
#include <QSet>
#include <QSlider>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A registration kept in memory; `refuse` makes every change fail.
class FakeLoginItem : public platform::LoginItem {
  public:
    bool isAvailable = true;
    bool isEnabled = false;
    bool refuse = false;
    std::vector<bool> requests;
    bool available() const override { return isAvailable; }
    bool enabled() const override { return isEnabled; }
    bool setEnabled(bool on) override {
        requests.push_back(on);
        if (refuse) return false;
        isEnabled = on;
        return true;
    }
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
        {"aggressive", [&] { view->aggressiveStop()->click(); }, [&] { return settings.aggressiveServiceStop(); }},
        {"safe", [&] { view->safeStop()->click(); }, [&] { return !settings.aggressiveServiceStop(); }},
        {"language", [&] { view->languagePicker()->activated(view->languagePicker()->findData("de")); },
         [&] { return settings.language() == "de"; }},
        {"auto", [&] { view->languagePicker()->activated(0); }, [&] { return settings.language() == "auto"; }},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_TRUE(c.stored()) << c.name;
    }
    // A store reloaded from the file sees the same values: nothing waits for an apply step.
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
    loc.apply(QStringLiteral("ko"));
    EXPECT_EQ(view->intervalPicker()->itemText(1), "2초");
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

    login.refuse = true;
    view->loginToggle()->click();
    EXPECT_TRUE(view->loginToggle()->isChecked()) << "a refused change stays as the user set it";
    EXPECT_FALSE(login.isEnabled);
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
    EXPECT_EQ(sheet->resultKey(), "bugSaved");
    EXPECT_EQ(sheet->result()->text(), loc.t("bugSaved"));
    EXPECT_EQ(sheet->editor()->toPlainText(), "  the fans never stop  ") << "the description stays";
    EXPECT_EQ(QDir(logs.filePath("logs")).entryList(QDir::Files).size(), 1);

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
