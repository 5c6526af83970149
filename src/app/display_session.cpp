#include "app/display_session.h"

#include <QFile>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kX11TcpBase = 6000;

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Connects without blocking past `timeout`; true once the peer accepted.
bool connectWithin(int fd, const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout) {
    if (::connect(fd, address, length) == 0) return true;
    // A Unix socket whose backlog is full answers EAGAIN: someone listens there.
    if (errno == EAGAIN) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// A path, or an abstract name written with a leading '@'.
// A socket that neither blocks nor outlives an exec; the flags are set apart from the call,
// since not every system takes them there.
int openSocket(int family, int type, int protocol) {
    const int fd = ::socket(family, type, protocol);
    if (fd < 0) return fd;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

bool unixSocketAccepts(const QString& path, std::chrono::milliseconds timeout) {
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const bool abstract = name.startsWith('@');
    if (name.size() >= static_cast<qsizetype>(sizeof address.sun_path) || name.size() < 2) return false;
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    if (abstract) address.sun_path[0] = '\0';
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() + (abstract ? 0 : 1));
    const Fd fd(openSocket(AF_UNIX, SOCK_STREAM, 0));
    return fd.get() >= 0 && connectWithin(fd.get(), reinterpret_cast<const sockaddr*>(&address), length, timeout);
}

bool tcpAccepts(const QString& host, const QString& port, std::chrono::milliseconds timeout) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), port.toLatin1().constData(), &hints, &found) != 0) return false;
    bool accepted = false;
    for (const addrinfo* a = found; a && !accepted; a = a->ai_next) {
        const Fd fd(openSocket(a->ai_family, a->ai_socktype, a->ai_protocol));
        accepted = fd.get() >= 0 && connectWithin(fd.get(), a->ai_addr, a->ai_addrlen, timeout);
    }
    ::freeaddrinfo(found);
    return accepted;
}

bool endpointAccepts(const QString& endpoint, std::chrono::milliseconds timeout) {
    if (endpoint.startsWith(u"unix:")) return unixSocketAccepts(endpoint.mid(5), timeout);
    const QString hostPort = endpoint.mid(4);  // "tcp:"
    const qsizetype colon = hostPort.lastIndexOf(u':');
    return tcpAccepts(hostPort.left(colon), hostPort.mid(colon + 1), timeout);
}

QtMessageHandler previousHandler = nullptr;
QByteArray noDisplayText;  // set once, before any GUI object exists

void displayAwareHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        if (isDisplayConnectionLost(message)) {
            // The session ended under us: nothing went wrong in Velmora. Qt would exit with 1
            // next, running destructors under live windows.
            std::fflush(nullptr);
            ::_exit(0);
        }
        if (type == QtFatalMsg && isNoPlatformPlugin(message)) {
            std::fwrite(noDisplayText.constData(), 1, static_cast<size_t>(noDisplayText.size()), stderr);
            std::fflush(nullptr);
            ::_exit(2);
        }
    }
    if (previousHandler) {
        previousHandler(type, context, message);
    } else {
        const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    }
}

}  // namespace

QStringList xDisplayEndpoints(const QString& display) {
    const qsizetype colon = display.lastIndexOf(u':');
    if (colon < 0) return {};
    const QString host = display.left(colon);
    QString number = display.mid(colon + 1);
    if (const qsizetype dot = number.indexOf(u'.'); dot >= 0) number.truncate(dot);  // ".screen"
    bool ok = false;
    const int n = number.toInt(&ok);
    if (!ok || n < 0 || n > 65535 - kX11TcpBase || number.startsWith(u'+')) return {};
    if (host.isEmpty() || host == u"unix") {
        const QString path = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        return {QStringLiteral("unix:") + path, QStringLiteral("unix:@") + path};
    }
    // A full socket path before the number (XQuartz's launchd socket, for one).
    if (host.startsWith(u'/')) return {QStringLiteral("unix:") + host + u':' + number};
    QString name = host;
    if (name.startsWith(u'[') && name.endsWith(u']')) name = name.mid(1, name.size() - 2);
    return {QStringLiteral("tcp:%1:%2").arg(name).arg(kX11TcpBase + n)};
}

DisplaySession findDisplaySession(const QProcessEnvironment& env, bool platformArgument,
                                  std::chrono::milliseconds timeout) {
    if (platformArgument || !env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return DisplaySession::chosen;
    const QString wayland = env.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (!wayland.isEmpty()) {
        const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
        const QString path = wayland.startsWith(u'/') ? wayland
                             : runtime.isEmpty()       ? QString()
                                                       : runtime + u'/' + wayland;
        if (!path.isEmpty() && unixSocketAccepts(path, timeout)) return DisplaySession::wayland;
    }
    const QString display = env.value(QStringLiteral("DISPLAY"));
    for (const QString& endpoint : xDisplayEndpoints(display))
        if (endpointAccepts(endpoint, timeout)) return DisplaySession::x11;
    return DisplaySession::none;
}

bool isDisplayConnectionLost(const QString& message) {
    return message.startsWith(u"The X11 connection broke") ||
           message.startsWith(u"The Wayland connection broke") ||
           message.startsWith(u"The Wayland connection experienced a fatal error");
}

bool isNoPlatformPlugin(const QString& message) {
    return message.contains(u"no Qt platform plugin could be initialized");
}

void installDisplayLossHandler(const QString& noDisplayMessage) {
    noDisplayText = noDisplayMessage.toLocal8Bit() + '\n';
    previousHandler = qInstallMessageHandler(displayAwareHandler);
}

}  // namespace velmora
