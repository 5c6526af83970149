#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

namespace velmora {

class Localizer;
class ProcessDemand;

// The program's windows, kind by kind.
enum class WindowKind { dashboard, settings, storage, analysis, detail };
inline constexpr size_t kWindowKinds = 5;

// How a kind of window is made and reused, in one table so a new window is one more row.
struct WindowTraits {
    enum class Size {
        screenShare,  // a share of the screen, up to a cap (the dashboard)
        fixed,        // a fixed content size
        natural,      // the content's own size
    };
    const char* titleKey;  // empty: the title comes with each opening (analysis, detail)
    bool closeOnly;        // titled and closable only: no minimise, maximise or resize
    Size size;
    QSize extent;          // fixed: the size; screenShare: the cap
    bool showsProcesses;   // holds a process demand while visible
    bool replacesContent;  // a second opening replaces the content instead of reusing it
};

const WindowTraits& windowTraits(WindowKind kind);

// A window's own title: `title` without the application's name at its start or end. The
// desktop writes the name after every window's title itself, and would show it twice.
// A title that is nothing but the name stays as it is.
QString withoutAppName(const QString& title, const QString& appName);

// Creates windows on first open and reuses them: every opening closes the popover first,
// then brings the window forward and activates the program. Windows of kinds that show
// processes hold a process demand while visible. Closing hides; the window is kept.
class WindowManager : public QObject {
    Q_OBJECT
  public:
    // Builds a window's view; the manager wraps, titles, places and keeps it.
    using Factory = std::function<QWidget*()>;

    WindowManager(Localizer& loc, ProcessDemand& demand, std::function<void()> beforeOpen,
                  QObject* parent = nullptr);
    ~WindowManager() override;

    // A kind without a factory is not part of this build yet: it cannot be opened.
    void setFactory(WindowKind kind, Factory factory);
    bool canOpen(WindowKind kind) const;

    // Opens the kind's window from its factory, or brings the existing one forward.
    void open(WindowKind kind);
    // Opens a window whose content comes with the request (analysis, process detail): an open
    // window of that kind gets the new content and title.
    void open(WindowKind kind, const QString& titleKey, const Factory& content);

    QWidget* window(WindowKind kind) const { return windows_[index(kind)]; }
    bool visible(WindowKind kind) const;

  signals:
    void factoriesChanged();

  private:
    static size_t index(WindowKind kind) { return static_cast<size_t>(kind); }
    QWidget* create(WindowKind kind, QWidget* content);
    void place(WindowKind kind, QWidget* window) const;
    void bringForward(QWidget* window) const;
    void retitle();
    QString titleOf(const QString& key) const;

    Localizer& loc_;
    ProcessDemand& demand_;
    std::function<void()> beforeOpen_;
    std::array<Factory, kWindowKinds> factories_;
    std::array<QPointer<QWidget>, kWindowKinds> windows_;
    std::array<QString, kWindowKinds> titleKeys_;
};

}  // namespace velmora
