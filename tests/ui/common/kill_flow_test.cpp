#include "ui/common/kill_flow.h"

#include "core/localizer.h"
#include "support/fake_processes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;

namespace {

class Flow : public ::testing::Test {
  protected:
    void SetUp() override {
        Localizer::shared().apply("en");
        for (int32_t pid : {10, 11, 12, 13, test::kOwnPid})
            fake->add(pid, 100 + static_cast<uint64_t>(pid));
    }

    KillFlow flow() {
        ProcessActionServices s;
        s.control = test::controlOver(fake);
        s.advisor = std::make_shared<KillAdvisor>(
            [](int32_t pid) { return KillAdvisor::Facts{QStringLiteral("p%1").arg(pid), {}, 1000}; }, 1000);
        s.confirm = [this](const KillRequest& r, QWidget*) {
            asked.push_back(r);
            return answer;
        };
        return KillFlow(std::move(s));
    }

    std::shared_ptr<test::FakeProcesses> fake = std::make_shared<test::FakeProcesses>();
    std::vector<KillRequest> asked;
    bool answer = true;
};

}  // namespace

TEST_F(Flow, RequestsLeaveOutWhatMayNotBeActedOnAndStampWhatIsUnknown) {
    const KillRequest r = flow().request(ProcessAction::suspend, {{{1, 0}, "init"},
                                                                  {{10, 0}, "ten"},
                                                                  {{test::kOwnPid, 0}, "velmora"},
                                                                  {{11, 5}, ""},
                                                                  {{12, 112}, QString(300, u'w')}});
    EXPECT_EQ(r.targets, (std::vector<ProcessRef>{{10, 110}, {11, 5}, {12, 112}}))
        << "an unknown stamp is read when the user asks; a known one is kept";
    ASSERT_EQ(r.names.size(), 3);
    EXPECT_EQ(r.names[1], "pid 11");
    EXPECT_EQ(r.names[2].size(), KillFlow::kNameChars);
    EXPECT_TRUE(r.names[2].contains(QStringLiteral("…")));
    EXPECT_EQ(r.advice.title, L("kaTitleSuspend"));
}

TEST_F(Flow, SuspendingOnlyItselfAsksNothingAndIsRefused) {
    const auto result = flow().run(ProcessAction::suspend, {{{test::kOwnPid, 0}, "velmora"}}, nullptr);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->refused, std::vector<int32_t>{test::kOwnPid});
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(fake->sent.empty());
    EXPECT_EQ(KillFlow::resultText(ProcessAction::suspend, *result), L("killFailed", 1).trimmed());
}

TEST_F(Flow, CancellingActsOnNothing) {
    answer = false;
    EXPECT_FALSE(flow().run(ProcessAction::quit, {{{10, 110}, "ten"}}, nullptr).has_value());
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(fake->sent.empty());
    EXPECT_FALSE(flow().run(ProcessAction::quit, {}, nullptr).has_value()) << "nothing offered, nothing asked";
    EXPECT_EQ(asked.size(), 1u);
}

TEST_F(Flow, ResultTextsSayWhatWasSentWhatHadEndedAndWhatFailed) {
    const struct {
        ProcessAction action;
        ActionResult result;
        QString text;
    } cases[] = {
        {ProcessAction::quit, {{1, 2}, {}, {}}, L("killSent", 2)},
        {ProcessAction::forceQuit, {{}, {}, {}}, L("killSent", 0)},
        {ProcessAction::suspend, {{1}, {}, {}}, L("killSuspended", 1)},
        {ProcessAction::resume, {{1, 2, 3}, {}, {}}, L("killResumed", 3)},
        {ProcessAction::quit, {{}, {4}, {}}, L("killEnded", 1)},
        {ProcessAction::quit, {{1}, {4, 5}, {6}},
         L("killSent", 1) + " " + L("killEnded", 2) + " " + L("killFailed", 1).trimmed()},
        {ProcessAction::suspend, {{}, {}, {6}}, L("killFailed", 1).trimmed()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KillFlow::resultText(c.action, c.result), c.text);
    EXPECT_EQ(KillFlow::confirmLabel(ProcessAction::suspend), L("adSuspend"));
    EXPECT_EQ(KillFlow::confirmLabel(ProcessAction::forceQuit), L("actForceQuit"));
    EXPECT_EQ(KillFlow::cancelLabel(), L("anCancel"));
}

TEST_F(Flow, PriorityGoesThroughTheProof) {
    EXPECT_EQ(flow().setPriority({10, 110}, 3), ActionOutcome::done);
    EXPECT_EQ(flow().setPriority({10, 109}, 3), ActionOutcome::ended);
    EXPECT_EQ(flow().setPriority({1, 101}, 3), ActionOutcome::refused);
    EXPECT_EQ(fake->reniced, (std::vector<std::pair<int32_t, int>>{{10, 3}}));
}

TEST_F(Flow, AChosenSignalIsAdvisedAsItsClosestActionAndSentOnlyToTheProvenProcess) {
    const struct {
        int signal;
        ProcessAction advisedAs;
    } cases[] = {
        {SIGHUP, ProcessAction::quit},      {SIGINT, ProcessAction::quit},  {SIGTERM, ProcessAction::quit},
        {SIGKILL, ProcessAction::forceQuit}, {SIGUSR1, ProcessAction::quit}, {SIGUSR2, ProcessAction::quit},
        {SIGSTOP, ProcessAction::suspend},  {SIGCONT, ProcessAction::resume},
    };
    ASSERT_EQ(KillFlow::offeredSignals().size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.signal);
        EXPECT_EQ(KillFlow::offeredSignals()[i].signal, c.signal) << "offered in this order";
        EXPECT_EQ(KillFlow::actionOf(c.signal), c.advisedAs);
        fake->sent.clear();
        asked.clear();
        // 11's row carries a stamp its pid no longer has: that process is gone.
        const auto result = flow().sendSignal(c.signal, {{{10, 110}, "ten"}, {{11, 5}, "old"}}, nullptr);
        ASSERT_TRUE(result.has_value());
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_EQ(asked[0].action, c.advisedAs);
        EXPECT_EQ(asked[0].signal, c.signal);
        EXPECT_EQ(fake->sent, (std::vector<std::pair<int32_t, int>>{{10, c.signal}}));
        EXPECT_EQ(result->ended, std::vector<int32_t>{11});
        EXPECT_EQ(KillFlow::signalResultText(c.signal, *result),
                  L("ptSignalSentN", QLatin1String(KillFlow::offeredSignals()[i].name), 1) + " " + L("killEnded", 1));
    }

    // Velmora alone: refused without asking. Cancelled: nothing sent.
    fake->sent.clear();
    asked.clear();
    const auto own = flow().sendSignal(SIGUSR1, {{{test::kOwnPid, 0}, "velmora"}}, nullptr);
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->refused, std::vector<int32_t>{test::kOwnPid});
    EXPECT_TRUE(asked.empty());
    answer = false;
    EXPECT_FALSE(flow().sendSignal(SIGUSR1, {{{10, 110}, "ten"}}, nullptr).has_value());
    EXPECT_FALSE(flow().sendSignal(SIGUSR1, {}, nullptr).has_value());
    EXPECT_TRUE(fake->sent.empty());
}

TEST(ConfirmKill, ANameWithMarkupShowsLiterallyInEveryLabel) {
    Localizer::shared().apply("en");
    KillRequest request;
    request.action = ProcessAction::quit;
    request.targets = {{10, 110}};
    request.names = {"<h1>Big</h1>"};
    request.advice = {KillSeverity::danger, QStringLiteral("<b>Title</b>"),
                      QStringLiteral("<h1>Big</h1>\n\n<i>reason</i>")};
    std::vector<std::pair<QString, Qt::TextFormat>> labels;
    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        found = true;
        for (QLabel* l : box->findChildren<QLabel*>())
            if (!l->text().isEmpty()) labels.emplace_back(l->text(), l->textFormat());
        box->reject();
    });
    EXPECT_FALSE(confirmKill(request, nullptr)) << "closing without an answer confirms nothing";
    ASSERT_TRUE(found);
    bool sawName = false;
    for (const auto& [text, format] : labels) {
        EXPECT_EQ(format, Qt::PlainText) << text.toStdString();
        sawName = sawName || text.contains(QStringLiteral("<h1>Big</h1>"));
    }
    EXPECT_TRUE(sawName);
}
