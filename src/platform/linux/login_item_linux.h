#pragma once

#include "platform/login_item.h"

#include <QByteArray>
#include <QString>

namespace velmora::platform::linux_autostart {

// The program's XDG autostart entry: "<dir>/<desktop entry id>.desktop". Present and not
// hidden means the desktop starts the program at login.
class AutostartEntry : public LoginItem {
  public:
    // An empty `desktopEntryId` or `program` leaves nothing to register: unavailable.
    AutostartEntry(QString autostartDir, QString desktopEntryId, QString program);

    bool available() const override;
    bool enabled() const override;
    bool setEnabled(bool enabled) override;
    Failure lastFailure() const override { return failure_; }

    QString path() const;

  private:
    QString dir_;
    QString id_;
    QString program_;
    Failure failure_;
};

// The entry's text for `program`, with the icon named after the desktop entry id.
QByteArray entryText(const QString& program, const QString& iconName);
// False when the text sets Hidden=true in its main group.
bool entryEnabled(const QByteArray& text);
// `program` as the first word of an Exec value, quoted and escaped as the desktop-entry
// format wants.
QString execWord(const QString& program);

}  // namespace velmora::platform::linux_autostart
