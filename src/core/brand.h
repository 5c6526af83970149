#pragma once

#include <QString>
#include <QUrl>

namespace velmora::Brand {

// The web address to open for a link whose address may be overridden by a text of the
// string table: the candidate when it differs from the fallback, parses as an address and
// has a scheme beginning with "http"; otherwise the fallback. A missing text comes back from
// the localizer as its key, which is no address, so the fallback wins then as well.
QUrl url(const QString& candidate, const QUrl& fallback);

// The maker's addresses, used when the string table names none of its own.
QUrl helpPageFallback();
QUrl companyHomepageFallback();
QUrl serviceFallback();

// The program's version ("0.1.0"), as the build was made.
QString version();

}  // namespace velmora::Brand
