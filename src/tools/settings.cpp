#include "settings.h"

#include <QStandardPaths>

namespace lorelist {

QSettings ProgramSettings() {
  return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/Lorelist/Lorelist.conf"),
                   QSettings::IniFormat);
}

}  // namespace lorelist
