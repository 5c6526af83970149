#include "app/command_line.h"

#include "core/brand.h"
#include "core/localizer.h"
#include "history/history_range.h"

#include <QCommandLineParser>

#include <cmath>

namespace velmora {

namespace {

// Each served process is four labelled series; past this a scrape is mostly processes.
constexpr int kMaxServedProcesses = 1000;

enum class Kind {
    own,   // printing and serving, and the help
    tray,  // the tray application's own
    gui,   // Qt's options for GUI applications, passed on to Qt by the tray application
};

struct OptionRule {
    QStringList names;
    const char* valueName;  // null for a switch
    Kind kind;
    const char* helpKey;  // null: not in the usage
};

const std::vector<OptionRule>& optionRules() {
    static const std::vector<OptionRule> all = {
        {{"h", "help"}, nullptr, Kind::own, VL_KEY("prtOptHelp")},
        {{"version"}, nullptr, Kind::own, VL_KEY("prtOptVersion")},
        {{"print"}, nullptr, Kind::own, VL_KEY("prtOptPrint")},
        {{"json"}, nullptr, Kind::own, VL_KEY("prtOptJson")},
        {{"count"}, "N", Kind::own, VL_KEY("prtOptCount")},
        {{"interval"}, "S", Kind::own, VL_KEY("prtOptInterval")},
        {{"processes"}, nullptr, Kind::own, VL_KEY("prtOptProcesses")},
        {{"serve"}, "[ADDRESS:]PORT", Kind::own, VL_KEY("prtOptServe")},
        {{"serve-processes"}, "N", Kind::own, VL_KEY("prtOptServeProcesses")},
        {{"history"}, "RANGE", Kind::own, VL_KEY("prtOptHistory")},
        {{"top"}, "METRIC", Kind::own, VL_KEY("prtOptTop")},
        {{"tray"}, nullptr, Kind::tray, VL_KEY("prtOptTray")},
        {{"tray-only"}, nullptr, Kind::tray, nullptr},
        {{"platform"}, "name", Kind::gui, nullptr},
        {{"platformpluginpath"}, "path", Kind::gui, nullptr},
        {{"platformtheme"}, "name", Kind::gui, nullptr},
        {{"plugin"}, "name", Kind::gui, nullptr},
        {{"qwindowgeometry"}, "geometry", Kind::gui, nullptr},
        {{"qwindowicon"}, "icon", Kind::gui, nullptr},
        {{"qwindowtitle"}, "title", Kind::gui, nullptr},
        {{"session"}, "id", Kind::gui, nullptr},
        {{"display"}, "name", Kind::gui, nullptr},
        {{"geometry"}, "geometry", Kind::gui, nullptr},
        {{"style"}, "style", Kind::gui, nullptr},
        {{"stylesheet"}, "file", Kind::gui, nullptr},
        {{"reverse"}, nullptr, Kind::gui, nullptr},
        {{"widgetcount"}, nullptr, Kind::gui, nullptr},
    };
    return all;
}

const OptionRule* ruleNamed(const QString& name) {
    for (const OptionRule& s : optionRules())
        if (s.names.contains(name)) return &s;
    return nullptr;
}

// Every option, described in the interface language when `describe` (for the usage only).
void addOptions(QCommandLineParser& parser, bool describe) {
    // "-platform" is one option, not eight letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRule& s : optionRules()) {
        QCommandLineOption option(s.names, describe && s.helpKey ? L(s.helpKey) : QString(),
                                  s.valueName ? QString::fromLatin1(s.valueName) : QString());
        if (!s.helpKey) option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Qt ignores a GUI option that takes a value when it comes last without one, and so does the
// tray application.
QStringList withoutDanglingGuiOption(QStringList arguments) {
    if (arguments.size() < 2 || arguments.mid(1, arguments.size() - 2).contains(QStringLiteral("--")))
        return arguments;
    const QString& last = arguments.last();
    if (!last.startsWith(u'-') || last.contains(u'=')) return arguments;
    const OptionRule* rule = ruleNamed(last.mid(last.startsWith(u"--") ? 2 : 1));
    if (rule && rule->kind == Kind::gui && rule->valueName) arguments.removeLast();
    return arguments;
}

std::optional<int> servedProcesses(const QString& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || n < 0 || n > kMaxServedProcesses) return std::nullopt;
    return n;
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    addOptions(parser, false);
    CommandLine line;
    const auto refuse = [&line](Refusal::Reason reason, const QString& subject, const QString& value = {},
                                const QString& text = {}) {
        line.mode = CommandLine::Mode::refused;
        line.refusal = {reason, subject, value, text};
        return line;
    };

    // An unknown option first: what follows it may only be its value.
    if (!parser.parse(withoutDanglingGuiOption(arguments)))
        return refuse(Refusal::Reason::parser, {}, {}, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refuse(Refusal::Reason::unexpected, parser.positionalArguments().join(u' '));

    const bool print = parser.isSet(QStringLiteral("print"));
    QStringList seen;
    for (const QString& given : parser.optionNames()) {
        const OptionRule* rule = ruleNamed(given);
        const QString name = rule->names.last();
        // Printing runs without the tray application, which alone knows these.
        if (print && rule->kind != Kind::own && name != u"tray") return refuse(Refusal::Reason::unknown, given);
        if (seen.contains(name)) return refuse(Refusal::Reason::repeated, QStringLiteral("--") + name);
        seen << name;
        // Qt would take the next option for this one's value: a missing value, as Qt says it.
        if (rule->kind == Kind::gui && rule->valueName && parser.value(name).startsWith(u'-'))
            return refuse(Refusal::Reason::parser, {}, {},
                          QCommandLineParser::tr("Missing value after '%1'.").arg(u'-' + name));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        line.mode = CommandLine::Mode::help;
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        line.mode = CommandLine::Mode::version;
        return line;
    }

    const auto has = [&parser](const char* name) { return parser.isSet(QLatin1StringView(name)); };
    if (has("top") && !has("history")) return refuse(Refusal::Reason::needsHistory, QStringLiteral("--top"));
    if (has("history")) {
        // The stored record is read and printed; nothing else runs beside it.
        for (const QString& given : parser.optionNames()) {
            const QString name = ruleNamed(given)->names.last();
            if (name != u"history" && name != u"top" && name != u"json")
                return refuse(Refusal::Reason::unexpected, QStringLiteral("--") + given);
        }
        const QString range = parser.value(QStringLiteral("history"));
        const std::optional<history::Millis> span = history::parseRange(range);
        if (!span) return refuse(Refusal::Reason::badValue, QStringLiteral("--history"), range);
        line.history.range = *span;
        line.history.json = has("json");
        if (has("top")) {
            const QString metric = parser.value(QStringLiteral("top"));
            line.history.top = history::parseMetric(metric);
            if (!line.history.top) return refuse(Refusal::Reason::badValue, QStringLiteral("--top"), metric);
        }
        line.mode = CommandLine::Mode::history;
        return line;
    }
    const bool tray = has("tray") || has("tray-only");
    const bool serving = has("serve");
    if (print && has("tray")) return refuse(Refusal::Reason::unexpected, QStringLiteral("--tray"));
    if (has("serve-processes") && !serving)
        return refuse(Refusal::Reason::needsServe, QStringLiteral("--serve-processes"));
    if (!print) {
        // Printing options without --print: the first of them is named.
        for (const char* name : {"json", "processes", "count", "interval"}) {
            if (!has(name) || (serving && std::string_view(name) == "interval")) continue;
            QString first = QStringLiteral("--") + QLatin1StringView(name);
            if (!serving) {
                for (const QString& given : parser.optionNames())
                    if (ruleNamed(given)->kind == Kind::own) {
                        first = QStringLiteral("--") + given;
                        break;
                    }
            }
            return refuse(Refusal::Reason::needsPrint, first);
        }
    }

    PrintOptions& options = line.options;
    options.print = print;
    options.json = has("json");
    options.processes = has("processes");
    if (has("count")) {
        bool ok = false;
        const QString text = parser.value(QStringLiteral("count"));
        const int n = text.toInt(&ok);
        if (!ok || n < 1) return refuse(Refusal::Reason::badValue, QStringLiteral("--count"), text);
        options.count = n;
    }
    if (has("interval")) {
        bool ok = false;
        const QString text = parser.value(QStringLiteral("interval"));
        const double s = text.toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0.05 || s > 86400)
            return refuse(Refusal::Reason::badValue, QStringLiteral("--interval"), text);
        options.interval = s;
    }
    if (serving) {
        const QString text = parser.value(QStringLiteral("serve"));
        const std::optional<ListenAddress> address = parseListenAddress(text);
        if (!address) return refuse(Refusal::Reason::badAddress, QStringLiteral("--serve"), text);
        options.serve = ServeOptions{*address, 0};
        if (has("serve-processes")) {
            const QString n = parser.value(QStringLiteral("serve-processes"));
            const std::optional<int> processes = servedProcesses(n);
            if (!processes) return refuse(Refusal::Reason::badValue, QStringLiteral("--serve-processes"), n);
            options.serve->processes = *processes;
        }
    }

    // Serving runs headless unless the tray application is asked for beside it; an interval
    // is the headless engine's, so with one the tray is not started.
    if (print || (serving && (!tray || has("interval")))) {
        line.mode = CommandLine::Mode::headless;
        return line;
    }
    line.mode = CommandLine::Mode::tray;
    line.trayOnly = has("tray-only");
    line.platformChosen = has("platform");
    return line;
}

QString usageText() {
    QCommandLineParser parser;
    parser.setApplicationDescription(L("prtDescription"));
    addOptions(parser, true);
    return parser.helpText();
}

QString versionText() {
    return QStringLiteral("Velmora ") + Brand::version();
}

QString refusalText(const Refusal& r) {
    using Reason = Refusal::Reason;
    switch (r.reason) {
        case Reason::parser:
            return r.text + u'\n' + usageText();
        case Reason::unknown:
            return QCommandLineParser::tr("Unknown option '%1'.").arg(r.subject) + u'\n' + usageText();
        case Reason::unexpected:
            return L("prtUnexpected", r.subject) + u'\n' + usageText();
        case Reason::repeated:
            return L("prtRepeated", r.subject) + u'\n' + usageText();
        case Reason::needsPrint:
            return L("prtNeedsPrint", r.subject) + u'\n' + usageText();
        case Reason::needsServe:
            return L("srvNeedsServe", r.subject) + u'\n';
        case Reason::needsHistory:
            return L("histNeedsHistory", r.subject) + u'\n';
        case Reason::badValue:
            return L("prtBadValue", r.subject, r.value) + u'\n';
        case Reason::badAddress:
            return L("srvBadAddress", r.value) + u'\n';
    }
    return {};
}

}  // namespace velmora
