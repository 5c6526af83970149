// Helpers of the Wayland checks, so they need no scripting language beyond the shell:
//   wayland_probe content PICTURE X Y W H   exits 0 when the rectangle of the picture holds
//                                           drawn content, 1 when it is blank or off the picture
//   wayland_probe sway-rect APP_ID < TREE   prints "X Y W H" of the first window of APP_ID in
//                                           the JSON tree `swaymsg -t get_tree` prints; exits 1
//                                           when there is none
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>
#include <optional>

namespace {

// A window drawn with text and controls has many colours from antialiasing; an empty one
// (only its background, perhaps a frame) has a handful.
constexpr int kMinColours = 24;

int content(const QString& path, const QRect& wanted) {
    const QImage image(path);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        return 1;
    }
    const QRect r = wanted.intersected(image.rect());
    if (r.isEmpty()) {
        std::fprintf(stderr, "the rectangle lies outside the %dx%d picture\n", image.width(), image.height());
        return 1;
    }
    QSet<QRgb> colours;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) colours.insert(image.pixel(x, y) | 0xff000000u);
    std::printf("%lld colours in %dx%d at %d,%d\n", static_cast<long long>(colours.size()), r.width(), r.height(),
                r.x(), r.y());
    return colours.size() >= kMinColours ? 0 : 1;
}

std::optional<QRect> swayRect(const QJsonObject& node, const QString& appId) {
    if (node.value(QStringLiteral("app_id")).toString() == appId) {
        const QJsonObject r = node.value(QStringLiteral("rect")).toObject();
        return QRect(r.value(QStringLiteral("x")).toInt(), r.value(QStringLiteral("y")).toInt(),
                     r.value(QStringLiteral("width")).toInt(), r.value(QStringLiteral("height")).toInt());
    }
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            if (auto found = swayRect(child.toObject(), appId)) return found;
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 7 && args[1] == QLatin1String("content"))
        return content(args[2], QRect(args[3].toInt(), args[4].toInt(), args[5].toInt(), args[6].toInt()));
    if (args.size() == 3 && args[1] == QLatin1String("sway-rect")) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) return 2;
        const QJsonDocument doc = QJsonDocument::fromJson(in.readAll());
        const auto r = swayRect(doc.object(), args[2]);
        if (!r) return 1;
        std::printf("%d %d %d %d\n", r->x(), r->y(), r->width(), r->height());
        return 0;
    }
    std::fputs("usage: wayland_probe content PICTURE X Y W H | sway-rect APP_ID < TREE\n", stderr);
    return 2;
}
